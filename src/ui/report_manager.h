#pragma once

#include <QDialog>
#include <functional>
#include <string>

#include "core/watch_list.h"
#include "reports/report_list.h"

class QHideEvent;
class QListWidget;
class QPushButton;
class QShowEvent;

namespace vantrel {

// What the report manager leaves to the window that shows it.
struct TReportManagerHooks {
  // Runs the definition on the main window's selected item (or none).
  std::function<void(const TReportItem&)> Run;
  // A save of the definitions failed: the message, for the window to show.
  std::function<void(const std::string&)> Error;
};

// The dialog in which the user keeps the report definitions and runs them.
// The list box shows `reports` and keeps its selection in step with it;
// hiding the dialog saves the definitions. Deleting a definition raises the
// list's OnDelete, which belongs to the list's owner, not to this dialog.
class TfmReportManager : public QDialog {
  Q_OBJECT

 public:
  // `reports` and `watchList` must outlive the dialog.
  TfmReportManager(TReportList& reports, const TWatchList& watchList, TReportManagerHooks hooks,
                   QWidget* parent = nullptr);

  QListWidget* lbReports() const { return lbReports_; }
  QPushButton* btAdd() const { return btAdd_; }
  QPushButton* btEdit() const { return btEdit_; }
  QPushButton* btRemove() const { return btRemove_; }
  QPushButton* btDefault() const { return btDefault_; }
  QPushButton* btRun() const { return btRun_; }
  QPushButton* btRebuild() const { return btRebuild_; }
  QPushButton* btCancel() const { return btCancel_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  // The entries and the selection from the list, then the enabling.
  void ShowList();
  void UpdateEnabling();
  void SelectionChanged();
  // The selected definition's index, or -1.
  int SelectedIndex() const;
  bool SelectedIsDefault() const;
  bool Ask(const QString& question);
  void SaveList();

  void Add();
  void Edit();
  void Remove();
  void SetAsDefault();
  void Run();
  void RebuildList();

  TReportList& Reports_;
  const TWatchList& WatchList_;
  TReportManagerHooks Hooks_;
  bool Filling_ = false;

  QListWidget* lbReports_;
  QPushButton* btAdd_;
  QPushButton* btEdit_;
  QPushButton* btRemove_;
  QPushButton* btDefault_;
  QPushButton* btRun_;
  QPushButton* btRebuild_;
  QPushButton* btCancel_;
};

}  // namespace vantrel
