#include "window/form1.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include "replay/base/paths.h"
#include "window/texts.h"

namespace texts = vehisect::texts;

namespace {

// The flow's texts are UTF-8; CR LF in them is a line break to the box.
QString FromFlow(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).replace("\r\n", "\n");
}

std::filesystem::path PathOf(const QString& path) { return vehisect::PathFromUtf8(path.toStdString()); }

QString ToQString(const std::filesystem::path& path) { return QString::fromStdString(vehisect::PathToUtf8(path)); }

// The replays among the dropped things: local files only.
std::vector<std::filesystem::path> DroppedFiles(const QMimeData* data) {
  std::vector<std::filesystem::path> files;
  if (data == nullptr) return files;
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile()) files.push_back(PathOf(url.toLocalFile()));
  }
  return files;
}

}  // namespace

Form1::Form1(std::vector<std::filesystem::path> replays, QWidget* parent)
    : QWidget(parent),
      command1_(new QPushButton(texts::kOpenKey, this)),
      progressBar1_(new QProgressBar(this)),
      check1_(new QCheckBox(texts::kCheck1Key, this)),
      check2_(new QCheckBox(texts::kCheck2Key, this)),
      flow_(*this),
      startReplays_(std::move(replays)) {
  setWindowTitle(texts::kTitle);
  setAcceptDrops(true);
  command1_->setObjectName("Command1");
  progressBar1_->setObjectName("ProgressBar1");
  check1_->setObjectName("Check1");
  check1_->setToolTip(QString::fromUtf8(texts::kCheck1Tooltip));
  check2_->setObjectName("Check2");
  check2_->setToolTip(QString::fromUtf8(texts::kCheck2Tooltip));
  progressBar1_->setRange(0, 100);
  progressBar1_->setValue(0);
  progressBar1_->setTextVisible(false);

  // A small window: the button on top, the bar, the check box. Sized from the platform's font
  // so that no text is clipped, and fixed: it cannot be resized.
  const int unit = fontMetrics().height();
  command1_->setMinimumSize(unit * 6, unit * 2);
  progressBar1_->setFixedHeight(unit * 2 / 3);
  auto* buttonRow = new QHBoxLayout;
  buttonRow->addStretch();
  buttonRow->addWidget(command1_);
  buttonRow->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(unit / 3, unit / 2, unit / 3, unit / 3);
  layout->addLayout(buttonRow);
  layout->addWidget(progressBar1_);
  layout->addWidget(check1_);
  layout->addWidget(check2_);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(command1_, &QPushButton::clicked, this, &Form1::Command1_Click);
}

void Form1::Command1_Click() { flow_.Open(); }

void Form1::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // Started with replays ("Open with", or replays dropped on the program's icon): split them
  // once the window is up, as a drop would.
  if (!startReplays_.empty()) {
    QTimer::singleShot(0, this, [this, replays = std::exchange(startReplays_, {})] { flow_.SplitReplays(replays); });
  }
}

void Form1::SetProgressMax(int maximum) {
  progressBar1_->setRange(0, maximum);
  progressBar1_->setValue(0);
}

void Form1::SetProgressValue(int value) { progressBar1_->setValue(value); }

void Form1::Post(std::function<void()> task) {
  // Queued to this window's thread; dropped with the window.
  QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
}

void Form1::SetBusy(bool busy) {
  command1_->setEnabled(!busy);
  check1_->setEnabled(!busy);
  check2_->setEnabled(!busy);
  // Escape reaches the window while its controls are disabled.
  if (busy) setFocus();
}

void Form1::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && flow_.running()) {
    flow_.Stop();
    return;
  }
  QWidget::keyPressEvent(event);
}

void Form1::SetCaption(const std::string& caption) {
  command1_->setText(caption == texts::kOpen ? QString(texts::kOpenKey) : FromFlow(caption));
}

void Form1::SetTitle(const std::string& title) { setWindowTitle(FromFlow(title)); }

// The bar of a window's own is all the progress Linux desktops show.
void Form1::MarkFailure() {}

void Form1::ShowMessage(const std::string& text, const std::string& title) {
  QMessageBox box(QMessageBox::Information, FromFlow(title), FromFlow(text), QMessageBox::Ok, this);
  box.exec();
}

void Form1::ShowWarning(const std::string& text, const std::string& details) {
  QMessageBox box(QMessageBox::Warning, texts::kTitle, FromFlow(text), QMessageBox::Ok, this);
  box.setInformativeText(FromFlow(vehisect::WrapLongWords(details)));
  // The whole text, as it was, for copying into a bug report.
  box.setDetailedText(FromFlow(details));
  box.exec();
}

vehisect::OtherRace Form1::AskOtherRace(const std::string& text, bool canReplace) {
  QMessageBox box(QMessageBox::Question, texts::kTitle, FromFlow(text), QMessageBox::NoButton, this);
  QPushButton* replace = canReplace ? box.addButton(texts::kReplace, QMessageBox::DestructiveRole) : nullptr;
  QPushButton* keepBoth = box.addButton(texts::kKeepBoth, QMessageBox::AcceptRole);
  QPushButton* cancel = box.addButton(texts::kCancel, QMessageBox::RejectRole);
  box.setDefaultButton(keepBoth);
  // Escape and the close box.
  box.setEscapeButton(cancel);
  box.exec();
  if (box.clickedButton() == keepBoth) return vehisect::OtherRace::kKeepBoth;
  if (replace != nullptr && box.clickedButton() == replace) return vehisect::OtherRace::kReplace;
  return vehisect::OtherRace::kStop;
}

void Form1::CloseWindow() { close(); }

std::vector<std::filesystem::path> Form1::ChooseReplays(const std::filesystem::path& folder) {
  const QString filter = QString(texts::kReplays);
  std::vector<std::filesystem::path> chosen;
  for (const QString& file : QFileDialog::getOpenFileNames(this, texts::kOpenReplay,
                                                           ToQString(folder), filter)) {
    chosen.push_back(PathOf(file));
  }
  return chosen;
}

std::optional<std::filesystem::path> Form1::ChooseFolder(const std::filesystem::path& replay,
                                                         const std::filesystem::path& folder) {
  const QString title = texts::kChooseFolder + ToQString(replay.filename());
  const QString chosen = QFileDialog::getExistingDirectory(this, title, ToQString(folder));
  if (chosen.isEmpty()) return std::nullopt;
  return PathOf(chosen);
}

bool Form1::UseRecordPtr() const { return check1_->isChecked(); }

bool Form1::ChoosesVehicles() const { return check2_->isChecked(); }

std::optional<std::vector<std::size_t>> Form1::ChooseVehicles(const vehisect::VehicleChoice& choice) {
  QDialog dialog(this);
  dialog.setObjectName("ChooseVehicles");
  dialog.setWindowTitle(texts::kTitle);
  auto* intro = new QLabel(FromFlow(choice.intro) + "\n" + FromFlow(choice.summary), &dialog);
  auto* rows = new QTreeWidget(&dialog);
  rows->setObjectName("Vehicles");
  rows->setRootIsDecorated(false);
  rows->setHeaderLabels([] {
    QStringList labels;
    for (const char* column : texts::kColumns) labels << column;
    return labels;
  }());
  for (const vehisect::VehicleChoice::Row& row : choice.rows) {
    auto* item = new QTreeWidgetItem(rows, {FromFlow(row.position), FromFlow(row.driver), FromFlow(row.vehicle),
                                            FromFlow(row.records), FromFlow(row.output), FromFlow(row.existing)});
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(0, Qt::Checked);
  }
  for (int c = 0; c < rows->columnCount(); ++c) rows->resizeColumnToContents(c);
  rows->setCurrentItem(rows->topLevelItem(0));
  auto* all = new QCheckBox(texts::kAllKey, &dialog);
  all->setObjectName("All");
  all->setCheckState(Qt::Checked);
  auto* buttons = new QDialogButtonBox(&dialog);
  QPushButton* split = buttons->addButton(texts::kSplitKey, QDialogButtonBox::AcceptRole);
  split->setObjectName("Split");
  split->setDefault(true);
  buttons->addButton(QDialogButtonBox::Cancel);
  connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  const auto ticked = [rows] {
    std::vector<std::size_t> chosen;
    for (int k = 0; k < rows->topLevelItemCount(); ++k) {
      if (rows->topLevelItem(k)->checkState(0) == Qt::Checked) chosen.push_back(static_cast<std::size_t>(k));
    }
    return chosen;
  };
  // "All vehicles" follows the rows, and ticks or unticks them all.
  connect(rows, &QTreeWidget::itemChanged, &dialog, [=] {
    const std::size_t count = ticked().size();
    split->setEnabled(count > 0);
    const QSignalBlocker quiet(all);
    all->setCheckState(count == 0 ? Qt::Unchecked
                       : count == static_cast<std::size_t>(rows->topLevelItemCount()) ? Qt::Checked
                                                                                        : Qt::PartiallyChecked);
  });
  connect(all, &QCheckBox::clicked, &dialog, [=] {
    const Qt::CheckState state = ticked().size() == static_cast<std::size_t>(rows->topLevelItemCount()) ? Qt::Unchecked
                                                                                                       : Qt::Checked;
    for (int k = 0; k < rows->topLevelItemCount(); ++k) rows->topLevelItem(k)->setCheckState(0, state);
  });
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(intro);
  layout->addWidget(rows);
  layout->addWidget(all);
  layout->addWidget(buttons);
  const int unit = fontMetrics().height();
  dialog.resize(std::max(dialog.sizeHint().width(), rows->header()->length() + unit * 2),
                dialog.sizeHint().height());
  rows->setFocus();
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return ticked();
}

std::filesystem::path Form1::ProgramFolder() const { return PathOf(QCoreApplication::applicationDirPath()); }

std::filesystem::path Form1::DocumentsFolder() const {
  return PathOf(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
}

void Form1::closeEvent(QCloseEvent* event) {
  if (flow_.RequestClose()) {
    event->accept();
  } else {
    event->ignore();
  }
}

void Form1::dragEnterEvent(QDragEnterEvent* event) {
  if (!flow_.running() && !DroppedFiles(event->mimeData()).empty()) event->acceptProposedAction();
}

void Form1::dropEvent(QDropEvent* event) {
  const std::vector<std::filesystem::path> files = DroppedFiles(event->mimeData());
  if (flow_.running() || files.empty()) return;
  event->acceptProposedAction();
  // Split once the drop has ended, so that the file manager is not kept waiting for the run.
  QTimer::singleShot(0, this, [this, files] { flow_.SplitReplays(files); });
}

