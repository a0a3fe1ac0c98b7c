#include "window/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMimeData>
#include <QLabel>
#include <QProgressBar>
#include <QStackedLayout>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>
#include <QWindow>
#include <QUrl>
#include <QVBoxLayout>

#include "replay/base/paths.h"
#include "window/qt_text.h"
#include "window/texts.h"
#include "window/vehicle_dialog.h"

namespace texts = vehisect::texts;

namespace {

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

MainWindow::MainWindow(vehisect::FileSystem& files, std::vector<std::filesystem::path> replays, bool chooseVehicles,
                       QWidget* parent)
    : QWidget(parent),
      openButton_(new QPushButton(texts::kOpenKey, this)),
      progressBar_(new QProgressBar(this)),
      waiting_(new QLabel(QString::fromUtf8(texts::kWaitingForRun), this)),
      recordPtrBox_(new QCheckBox(texts::kRecordPtrKey, this)),
      chooseVehiclesBox_(new QCheckBox(texts::kChooseVehiclesKey, this)),
      flow_(*this, files),
      startReplays_(std::move(replays)) {
  setWindowTitle(texts::kTitle);
  setAcceptDrops(true);
  openButton_->setObjectName("OpenButton");
  progressBar_->setObjectName("ProgressBar");
  waiting_->setObjectName("Waiting");
  waiting_->setAlignment(Qt::AlignCenter);
  recordPtrBox_->setObjectName("RecordPtrBox");
  recordPtrBox_->setToolTip(QString::fromUtf8(texts::kRecordPtrTooltip));
  chooseVehiclesBox_->setObjectName("ChooseVehiclesBox");
  chooseVehiclesBox_->setToolTip(QString::fromUtf8(texts::kChooseVehiclesTooltip));
  chooseVehiclesBox_->setChecked(chooseVehicles);
  progressBar_->setRange(0, 100);
  progressBar_->setValue(0);
  progressBar_->setTextVisible(false);

  LayOut();
  connect(openButton_, &QPushButton::clicked, this, &MainWindow::OnOpenClicked);
}

// A small window: the button on top, the bar, the check boxes. Sized from the platform's font
// so that no text is clipped, and fixed: it cannot be resized.
void MainWindow::LayOut() {
  const int unit = fontMetrics().height();
  openButton_->setMinimumSize(unit * 6, unit * 2);
  progressBar_->setFixedHeight(unit * 2 / 3);
  auto* buttonRow = new QHBoxLayout;
  buttonRow->addStretch();
  buttonRow->addWidget(openButton_);
  buttonRow->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(unit / 3, unit / 2, unit / 3, unit / 3);
  layout->addLayout(buttonRow);
  layout->addWidget(BarPlace(unit));
  layout->addWidget(recordPtrBox_);
  layout->addWidget(chooseVehiclesBox_);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

// The bar, or in its place what a run waits for, in a row of one line's height either way.
QWidget* MainWindow::BarPlace(int unit) {
  auto* place = new QWidget(this);
  auto* barHolder = new QWidget(place);
  auto* barPage = new QVBoxLayout(barHolder);
  barPage->setContentsMargins(0, 0, 0, 0);
  barPage->addWidget(progressBar_, 0, Qt::AlignVCenter);
  barPlace_ = new QStackedLayout(place);
  barPlace_->addWidget(barHolder);
  barPlace_->addWidget(waiting_);
  place->setFixedHeight(unit + unit / 3);
  return place;
}

void MainWindow::OnOpenClicked() { flow_.Open(); }

void MainWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // Started with replays ("Open with", or replays dropped on the program's icon): split them
  // once the window is on the screen, as a drop would. Not before: until then a window
  // manager may not have placed it, and the run's boxes, centred on it, would stand in the
  // screen's corner.
  if (startReplays_.empty()) return;
  if (windowHandle() != nullptr) {
    windowHandle()->installEventFilter(this);
  } else {
    SplitStartReplays();
  }
}

void MainWindow::SplitStartReplays() {
  QTimer::singleShot(0, this, [this, replays = std::exchange(startReplays_, {})] { flow_.SplitReplays(replays); });
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == windowHandle() && event->type() == QEvent::Expose && windowHandle()->isExposed() &&
      !startReplays_.empty()) {
    windowHandle()->removeEventFilter(this);
    SplitStartReplays();
  }
  return QWidget::eventFilter(watched, event);
}

void MainWindow::SetProgressMax(int maximum) {
  progressBar_->setRange(0, maximum);
  progressBar_->setValue(0);
}

void MainWindow::SetProgressValue(int value) { progressBar_->setValue(value); }

void MainWindow::Post(std::function<void()> task) {
  // Queued to this window's thread; dropped with the window.
  QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
}

void MainWindow::SetBusy(bool busy) {
  openButton_->setEnabled(!busy);
  recordPtrBox_->setEnabled(!busy);
  chooseVehiclesBox_->setEnabled(!busy);
  // Escape reaches the window while its controls are disabled.
  if (busy) setFocus();
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && flow_.running()) {
    flow_.Stop();
    return;
  }
  QWidget::keyPressEvent(event);
}

void MainWindow::SetCaption(const std::string& caption) {
  openButton_->setText(caption == texts::WithoutKey(texts::kOpenKey) ? QString(texts::kOpenKey) : FromFlow(caption));
}

void MainWindow::SetTitle(const std::string& title) { setWindowTitle(FromFlow(title)); }

void MainWindow::ShowWaiting(const std::string& folder) {
  waiting_->setToolTip(FromFlow(folder));
  barPlace_->setCurrentIndex(folder.empty() ? 0 : 1);
}

// The bar of a window's own is all the progress Linux desktops show.
void MainWindow::MarkFailure() {}

void MainWindow::ShowMessage(const std::string& text, const std::string& title) {
  QMessageBox box(QMessageBox::Information, FromFlow(title), FromFlow(text), QMessageBox::Ok, this);
  box.exec();
}

void MainWindow::ShowWarning(const std::string& text, const std::string& details) {
  QMessageBox box(QMessageBox::Warning, texts::kTitle, FromFlow(text), QMessageBox::Ok, this);
  box.setInformativeText(FromFlow(vehisect::WrapLongWords(details)));
  // The whole text, as it was, for copying into a bug report.
  box.setDetailedText(FromFlow(details));
  box.exec();
}

vehisect::OtherRace MainWindow::AskOtherRace(const std::string& text, bool canReplace) {
  // As the Win32 window asks it: a warning, Keep both first and the default, then Replace; in
  // one role, so that no platform's layout reorders them.
  QMessageBox box(QMessageBox::Warning, texts::kTitle, FromFlow(text), QMessageBox::NoButton, this);
  QPushButton* keepBoth = box.addButton(texts::kKeepBoth, QMessageBox::ActionRole);
  QPushButton* replace = canReplace ? box.addButton(texts::kReplace, QMessageBox::ActionRole) : nullptr;
  QPushButton* cancel = box.addButton(texts::kCancel, QMessageBox::RejectRole);
  box.setDefaultButton(keepBoth);
  // Escape and the close box.
  box.setEscapeButton(cancel);
  box.exec();
  if (box.clickedButton() == keepBoth) return vehisect::OtherRace::kKeepBoth;
  if (replace != nullptr && box.clickedButton() == replace) return vehisect::OtherRace::kReplace;
  return vehisect::OtherRace::kStop;
}

void MainWindow::CloseWindow() { close(); }

std::vector<std::filesystem::path> MainWindow::ChooseReplays(const std::filesystem::path& folder) {
  const QString filter = QString(texts::kReplays);
  std::vector<std::filesystem::path> chosen;
  for (const QString& file : QFileDialog::getOpenFileNames(this, texts::kOpenReplay,
                                                           ToQString(folder), filter)) {
    chosen.push_back(PathOf(file));
  }
  return chosen;
}

std::optional<std::filesystem::path> MainWindow::ChooseFolder(const std::filesystem::path& replay,
                                                         const std::filesystem::path& folder) {
  const QString title = texts::kChooseFolder + ToQString(replay.filename());
  const QString chosen = QFileDialog::getExistingDirectory(this, title, ToQString(folder));
  if (chosen.isEmpty()) return std::nullopt;
  return PathOf(chosen);
}

bool MainWindow::UseRecordPtr() const { return recordPtrBox_->isChecked(); }

bool MainWindow::ChoosesVehicles() const { return chooseVehiclesBox_->isChecked(); }

std::optional<std::vector<std::size_t>> MainWindow::ChooseVehicles(const vehisect::VehicleChoice& choice) {
  VehicleDialog dialog(choice, this);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.Ticked();
}

std::filesystem::path MainWindow::ProgramFolder() const { return PathOf(QCoreApplication::applicationDirPath()); }

std::filesystem::path MainWindow::DocumentsFolder() const {
  return PathOf(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (flow_.RequestClose()) {
    event->accept();
  } else {
    event->ignore();
  }
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (!flow_.running() && !DroppedFiles(event->mimeData()).empty()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
  const std::vector<std::filesystem::path> files = DroppedFiles(event->mimeData());
  if (flow_.running() || files.empty()) return;
  event->acceptProposedAction();
  // Split once the drop has ended, so that the file manager is not kept waiting for the run.
  QTimer::singleShot(0, this, [this, files] { flow_.SplitReplays(files); });
}

