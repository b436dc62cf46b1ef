// The report manager keeps the definitions with the user's buttons and asks
// before it deletes; the report editor switches off the sections a report
// cannot show without losing their values.

#include <gtest/gtest.h>
#include <QTest>
#include <QtWidgets>

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "core/watch_list_fixture.h"
#include "modal_answers.h"
#include "reports/report_list.h"
#include "support/test_files.h"
#include "ui/report_editor.h"
#include "ui/report_manager.h"

namespace vantrel {
namespace {

using test::Answer;
using test::WhenModal;

// Clicks the button's indicator, which a layout never moves off its left end.
void ClickBox(QAbstractButton* button) {
  QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(button->height() / 2, button->height() / 2));
}

void ClickRow(QListWidget* list, int row, Qt::KeyboardModifiers modifiers = {}) {
  list->scrollToItem(list->item(row));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers,
                    list->visualItemRect(list->item(row)).center());
}

class ReportDialogsTest : public test::TWatchListFixture {
 protected:
  ReportDialogsTest() : Reports((Tmp / "vantrel.vtr").string()) {
    Reports.Rebuild();
    // As the list's owner does: items that e-mailed a deleted report stop.
    Reports.OnDelete = [this](const TReportItem& report) { List.ReportDeleted(report.Id); };
    Manager.show();
  }

  QString Entry(int row) const { return Manager.lbReports()->item(row)->text(); }

  std::string ButtonsEnabled() const {
    std::string flags;
    for (const QPushButton* button :
         {Manager.btEdit(), Manager.btRun(), Manager.btRemove(), Manager.btDefault()})
      flags += button->isEnabled() ? '1' : '0';
    return flags;
  }

  test::TTempDir Tmp;
  TReportList Reports;
  std::vector<std::string> Runs;
  std::vector<std::string> Errors;
  TfmReportManager Manager{Reports, List,
                           TReportManagerHooks{
                               .Run = [this](const TReportItem& r) { Runs.push_back(r.Name); },
                               .Error = [this](const std::string& m) { Errors.push_back(m); },
                           }};
};

TEST_F(ReportDialogsTest, TheDefaultCanBeEditedAndRunButNotRemovedOrSetAgain) {
  ASSERT_EQ(Manager.lbReports()->count(), 11);
  EXPECT_EQ(Entry(0), "Detail Report in HTML (default)");
  EXPECT_EQ(Manager.lbReports()->currentRow(), 0);
  EXPECT_EQ(ButtonsEnabled(), "1100");

  ClickRow(Manager.lbReports(), 4);
  EXPECT_EQ(Reports.Selected(), 4);
  EXPECT_EQ(ButtonsEnabled(), "1111");

  QTest::mouseClick(Manager.btDefault(), Qt::LeftButton);
  EXPECT_EQ(Reports.Default(), &Reports.Item(4));
  EXPECT_EQ(Entry(0), "Detail Report in HTML");
  EXPECT_EQ(Entry(4), "Summary Report in HTML (default)");
  EXPECT_EQ(ButtonsEnabled(), "1100");

  // Taking the selection away leaves nothing to act on.
  ClickRow(Manager.lbReports(), 4, Qt::ControlModifier);
  EXPECT_EQ(Reports.Selected(), -1);
  EXPECT_EQ(ButtonsEnabled(), "0000");
}

TEST_F(ReportDialogsTest, RemoveAsksTheLongerQuestionForAReportInUseAndActsOnlyOnYes) {
  TWatchItem& shop = Add("shop");
  shop.EmailAction = true;
  shop.EmailType = TEmailType::Report;
  const std::int32_t mailed = shop.ReportId = Reports.Item(2).Id;
  QString question;

  ClickRow(Manager.lbReports(), 2);
  Answer(&Manager, QMessageBox::No, question);
  QTest::mouseClick(Manager.btRemove(), Qt::LeftButton);
  EXPECT_TRUE(question.startsWith("The report is using for sending email"))
      << question.toStdString();
  EXPECT_EQ(Reports.Count(), 11);
  EXPECT_TRUE(shop.EmailAction);

  Answer(&Manager, QMessageBox::Yes, question);
  QTest::mouseClick(Manager.btRemove(), Qt::LeftButton);
  EXPECT_EQ(Reports.IndexOfId(mailed), -1);
  EXPECT_FALSE(shop.EmailAction);
  EXPECT_EQ(shop.ReportId, -1);
  // The entry after the removed one takes its place.
  EXPECT_EQ(Manager.lbReports()->currentItem()->text(), "Status Detail Report in HTML");
  EXPECT_EQ(Reports.Selected(), 2);

  Answer(&Manager, QMessageBox::Yes, question);
  QTest::mouseClick(Manager.btRemove(), Qt::LeftButton);
  EXPECT_EQ(question, "Are you sure you want to delete the report?");

  // Closing saves what the user did.
  QTest::mouseClick(Manager.btCancel(), Qt::LeftButton);
  TReportList saved(Reports.FileName());
  saved.LoadFromFile();
  EXPECT_EQ(saved.Count(), 9);
  EXPECT_TRUE(Errors.empty());
}

TEST_F(ReportDialogsTest, AddRunAndSetDefaultReports) {
  WhenModal(&Manager, [](QWidget* modal) {
    auto* editor = qobject_cast<TfmReportEditor*>(modal);
    ASSERT_NE(editor, nullptr);
    QTest::keyClicks(editor->edName(), "  Mine ");
    QTest::mouseClick(editor->btOk(), Qt::LeftButton);
  });
  QTest::mouseClick(Manager.btAdd(), Qt::LeftButton);
  EXPECT_EQ(Manager.lbReports()->currentItem()->text(), "Mine");

  QTest::mouseClick(Manager.btRun(), Qt::LeftButton);
  ClickRow(Manager.lbReports(), 4);
  QTest::mouseClick(Manager.btRun(), Qt::LeftButton);
  // A double click: the first click selects, the second runs.
  ClickRow(Manager.lbReports(), 6);
  QTest::mouseDClick(Manager.lbReports()->viewport(), Qt::LeftButton, {},
                     Manager.lbReports()->visualItemRect(Manager.lbReports()->item(6)).center());
  EXPECT_EQ(Runs,
            (std::vector<std::string>{"Mine", "Summary Report in HTML", "Summary Report in XML"}));

  QString question;
  Answer(&Manager, QMessageBox::No, question);
  QTest::mouseClick(Manager.btRebuild(), Qt::LeftButton);
  EXPECT_EQ(Reports.Count(), 12);
  Answer(&Manager, QMessageBox::Yes, question);
  QTest::mouseClick(Manager.btRebuild(), Qt::LeftButton);
  EXPECT_EQ(Manager.lbReports()->count(), 11);
  EXPECT_EQ(Reports.Selected(), 0);
  EXPECT_EQ(ButtonsEnabled(), "1100");
}

TEST_F(ReportDialogsTest, AFailedSaveOnClosingGoesToTheWindow) {
  TReportList homeless((Tmp / "gone" / "vantrel.vtr").string());
  homeless.Rebuild();
  TReportManagerHooks hooks;
  hooks.Error = [this](const std::string& m) { Errors.push_back(m); };
  TfmReportManager manager(homeless, List, hooks);
  manager.show();
  manager.close();
  EXPECT_EQ(Errors.size(), 1u);
  EXPECT_TRUE(homeless.Modified());
}

// Which section controls are enabled, in reading order: detail graphics,
// its grouping, responses, their filter, statuses, their filter, summary
// graphics.
std::string SectionsEnabled(const TfmReportEditor& e) {
  std::string flags;
  for (const QWidget* control : std::initializer_list<const QWidget*>{
           e.cbDetailGraphics(), e.sbDetailGraphics(), e.cbDetailResponse(), e.sbDetailResponse(),
           e.cbDetailStatus(), e.sbDetailStatus(), e.cbSummaryGraphics()})
    flags += control->isEnabled() ? '1' : '0';
  return flags;
}

TEST(ReportEditorTest, SectionsFollowTypeAndFormatAndKeepTheirValues) {
  TfmReportEditor editor;
  editor.show();
  EXPECT_FALSE(editor.btOk()->isEnabled());
  QTest::keyClicks(editor.edName(), "   ");
  EXPECT_FALSE(editor.btOk()->isEnabled());
  QTest::keyClicks(editor.edName(), "x");
  EXPECT_TRUE(editor.btOk()->isEnabled());

  EXPECT_EQ(SectionsEnabled(editor), "1111110");  // a new definition: HTML detail
  ClickBox(editor.cbDetailResponse());
  EXPECT_EQ(SectionsEnabled(editor), "1110110");
  QTest::keyClick(editor.sbFormat(), Qt::Key_Down);
  EXPECT_EQ(SectionsEnabled(editor), "0010110");
  ClickBox(editor.rbSummaryReport());
  EXPECT_EQ(SectionsEnabled(editor), "0000000");
  QTest::keyClick(editor.sbFormat(), Qt::Key_Up);
  EXPECT_EQ(SectionsEnabled(editor), "0000001");
  QTest::keyClick(editor.sbFormat(), Qt::Key_Down);

  // The switched-off sections are saved as they stand.
  TReportItem saved;
  editor.Save(saved);
  TReportItem expected;
  expected.Name = "x";
  expected.Format = TReportFormat::Xml;
  expected.ReportType = TReportType::Summary;
  expected.DetailResponse = false;
  EXPECT_EQ(saved, expected);
}

TEST(ReportEditorTest, LoadAndSaveCarryEveryField) {
  const TReportItem report{.Id = 7,
                           .Name = "Weekly",
                           .Format = TReportFormat::Csv,
                           .Period = TReportPeriod::AllPeriod,
                           .ReportType = TReportType::Summary,
                           .DetailGraphics = false,
                           .GraphicsGrouping = TGraphicsGrouping::ByMonths,
                           .DetailResponse = true,
                           .ResponseFilter = TResultFilter::Bad,
                           .DetailStatus = false,
                           .StatusFilter = TResultFilter::Good,
                           .SummaryGraphics = false};
  TfmReportEditor editor;
  editor.Load(report);
  TReportItem saved;
  saved.Id = 7;
  editor.Save(saved);
  EXPECT_EQ(saved, report);
}

}  // namespace
}  // namespace vantrel
