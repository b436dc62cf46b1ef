#include "ui/list_views.h"

#include <QHeaderView>
#include <QMetaObject>
#include <QSignalBlocker>
#include <utility>

#include "core/watch_item.h"
#include "text/text_utils.h"
#include "ui/ui_log.h"

namespace vantrel {

namespace {

constexpr int kItemRole = Qt::UserRole;
constexpr int kImageRole = Qt::UserRole + 1;

QString Text(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Compares the sort column's texts as the list wants them, not as Qt would
// (by locale, or numerically).
class TWatchRow final : public QTreeWidgetItem {
 public:
  TWatchRow() : QTreeWidgetItem(UserType) {}

  bool operator<(const QTreeWidgetItem& other) const override {
    const int column = treeWidget() != nullptr ? treeWidget()->sortColumn() : 0;
    const QByteArray mine = text(column).toUtf8();
    const QByteArray theirs = other.text(column).toUtf8();
    return CompareNoCase(
               std::string_view(mine.constData(), static_cast<std::size_t>(mine.size())),
               std::string_view(theirs.constData(), static_cast<std::size_t>(theirs.size()))) < 0;
  }
};

}  // namespace

TListItemView::TListItemView(QTreeWidget& tree, QList<QIcon> stateImages)
    : Tree_(tree), StateImages_(std::move(stateImages)) {
  Tree_.setSortingEnabled(false);
}

int TListItemView::RowCount() const {
  return Tree_.topLevelItemCount();
}

QTreeWidgetItem* TListItemView::At(int row) const {
  QTreeWidgetItem* item = Tree_.topLevelItem(row);
  Q_ASSERT(item != nullptr);
  return item;
}

TWatchItem* TListItemView::RowItem(int row) const {
  return static_cast<TWatchItem*>(At(row)->data(0, kItemRole).value<void*>());
}

int TListItemView::AddRow(TWatchItem* item) {
  auto* row = new TWatchRow;
  row->setData(0, kItemRole, QVariant::fromValue(static_cast<void*>(item)));
  row->setData(0, kImageRole, -1);
  const QSignalBlocker blocker(Tree_);
  Tree_.addTopLevelItem(row);
  ScheduleSort();
  return Tree_.topLevelItemCount() - 1;
}

void TListItemView::DeleteRow(int row) {
  const QSignalBlocker blocker(Tree_);
  delete Tree_.takeTopLevelItem(row);
}

void TListItemView::ClearRows() {
  const QSignalBlocker blocker(Tree_);
  Tree_.clear();
}

void TListItemView::SetCaption(int row, const std::string& caption) {
  At(row)->setText(0, Text(caption));
  ScheduleSort();
}

int TListItemView::SubItemCount(int row) const {
  // Columns past the caption that hold a text; a list widget has no count of
  // its own, so the texts set are remembered as a count.
  return At(row)->data(1, kItemRole).toInt();
}

void TListItemView::SetSubItem(int row, int index, const std::string& text) {
  QTreeWidgetItem* item = At(row);
  item->setText(index + 1, Text(text));
  if (index >= SubItemCount(row))
    item->setData(1, kItemRole, index + 1);
  ScheduleSort();
}

void TListItemView::SetStateImage(int row, int image) {
  QTreeWidgetItem* item = At(row);
  if (item->data(0, kImageRole).toInt() != image && RowItem(row) != nullptr)
    qCDebug(lcWindow).noquote() << "row" << Text(RowItem(row)->Name) << "image" << image;
  item->setData(0, kImageRole, image);
  item->setIcon(0, image >= 0 && image < StateImages_.size() ? StateImages_[image] : QIcon());
}

int TListItemView::StateImage(int row) const {
  return At(row)->data(0, kImageRole).toInt();
}

bool TListItemView::Selected(int row) const {
  return At(row)->isSelected();
}

void TListItemView::SetSelected(int row, bool selected) {
  const QSignalBlocker blocker(Tree_);
  At(row)->setSelected(selected);
  if (selected)
    Tree_.setCurrentItem(At(row), 0, QItemSelectionModel::NoUpdate);
}

void TListItemView::ClearSelection() {
  const QSignalBlocker blocker(Tree_);
  Tree_.clearSelection();
}

int TListItemView::FirstSelectedRow() const {
  for (int row = 0; row < RowCount(); ++row) {
    if (At(row)->isSelected())
      return row;
  }
  return -1;
}

int TListItemView::SelectedCount() const {
  return static_cast<int>(Tree_.selectedItems().size());
}

void TListItemView::BeginUpdate() {
  if (UpdateDepth_++ == 0)
    Tree_.setUpdatesEnabled(false);
}

void TListItemView::EndUpdate() {
  if (UpdateDepth_ > 0 && --UpdateDepth_ == 0)
    Tree_.setUpdatesEnabled(true);
}

void TListItemView::RepaintRow(int row) {
  Tree_.viewport()->update(Tree_.visualItemRect(At(row)));
}

void TListItemView::ClearColumns() {
  Tree_.setColumnCount(0);
  Tree_.setHeaderLabels({});
}

void TListItemView::AddColumn(const TViewColumn& column) {
  const int index = Tree_.columnCount();
  Tree_.setColumnCount(index + 1);
  Tree_.headerItem()->setText(index, Text(column.Caption));
  QHeaderView& header = *Tree_.header();
  header.setStretchLastSection(false);
  if (column.AutoSize) {
    header.setSectionResizeMode(index, QHeaderView::Stretch);
  } else {
    header.setSectionResizeMode(index, QHeaderView::Interactive);
    header.resizeSection(index, column.Width);
  }
  ScheduleSort();
}

int TListItemView::ClientWidth() const {
  return Tree_.viewport()->width();
}

void TListItemView::SetTableView(bool on) {
  if (on == TableView_)
    return;
  TableView_ = on;
  ScheduleSort();
}

int TListItemView::RowOf(const QTreeWidgetItem* item) const {
  return item != nullptr ? Tree_.indexOfTopLevelItem(const_cast<QTreeWidgetItem*>(item)) : -1;
}

void TListItemView::ScheduleSort() {
  if (SortPending_)
    return;
  SortPending_ = true;
  QMetaObject::invokeMethod(
      &Tree_, [this] { SortNow(); }, Qt::QueuedConnection);
}

void TListItemView::SortNow() {
  SortPending_ = false;
  const int column = TableView_ && Tree_.columnCount() > 1 ? 1 : 0;
  const QSignalBlocker blocker(Tree_);
  Tree_.sortItems(column, Qt::AscendingOrder);
}

TListDetailsView::TListDetailsView(QTreeWidget& tree) : Tree_(tree) {}

void TListDetailsView::AddRow(const std::string& property, const std::string& value) {
  auto* row = new QTreeWidgetItem({Text(property), Text(value)});
  Tree_.addTopLevelItem(row);
}

void TListDetailsView::BeginUpdate() {
  if (UpdateDepth_++ == 0)
    Tree_.setUpdatesEnabled(false);
}

void TListDetailsView::EndUpdate() {
  if (UpdateDepth_ > 0 && --UpdateDepth_ == 0)
    Tree_.setUpdatesEnabled(true);
}

}  // namespace vantrel
