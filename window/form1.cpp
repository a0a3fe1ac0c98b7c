#include "window/form1.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <climits>

#include "replay/names.h"
#include "replay/splitter.h"

namespace {

// Repainting after every record would make painting, not splitting, the cost of a run.
constexpr qint64 kPaintIntervalMs = 33;

// The splitter's captions and messages are ASCII, and its error messages UTF-8: file paths
// as the system gives them, with any replay bytes escaped. CR LF is a line break to the box.
QString FromSplitter(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).replace("\r\n", "\n");
}

std::optional<std::filesystem::path> OpenReplayDialog(QWidget* parent, const QString& folder) {
  const QString chosen =
      QFileDialog::getOpenFileName(parent, "Open Replay", folder, "Replays (*.rpl)");
  if (chosen.isEmpty()) return std::nullopt;
  return vehisect::PathFromUtf8(chosen.toStdString());
}

// The program's own folder, as players keep it beside the game's replays; an installed copy's
// folder is not theirs to write in, so the dialog starts at home instead.
QString StartFolder() {
  const QString own = QCoreApplication::applicationDirPath();
  return QFileInfo(own).isWritable() ? own : QDir::homePath();
}

}  // namespace

Form1::Form1(QWidget* parent)
    : QWidget(parent),
      command1_(new QPushButton("Open", this)),
      progressBar1_(new QProgressBar(this)),
      check1_(new QCheckBox("Use demoRecordPtr", this)),
      chooser_(OpenReplayDialog) {
  setWindowTitle("Vehisect");
  command1_->setObjectName("Command1");
  progressBar1_->setObjectName("ProgressBar1");
  check1_->setObjectName("Check1");
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
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(command1_, &QPushButton::clicked, this, &Form1::Command1_Click);
  qApp->installEventFilter(this);
}

void Form1::Command1_Click() {
  if (running_) return;
  const std::optional<std::filesystem::path> chosen = chooser_(this, StartFolder());
  if (!chosen) return;
  replayPath_ = *chosen;
  SetCaption("Working...");
  running_ = true;
  sincePaint_.start();
  try {
    vehisect::SplitReplay(replayPath_, check1_->isChecked(), *this, replayPath_.parent_path());
  } catch (const std::exception& e) {
    QMessageBox box(QMessageBox::Warning, "Vehisect", FromSplitter(e.what()), QMessageBox::Ok, this);
    box.exec();
    SetCaption("Open");
    SetProgressValue(0);
  }
  running_ = false;
  if (closeWhenDone_) close();
}

void Form1::SetProgressMax(float maximum) {
  maximum_ = maximum;
  value_ = 0;
  // The bar counts in int; a longer replay is shown in proportion.
  progressBar1_->setRange(0, maximum > INT_MAX ? INT_MAX : static_cast<int>(maximum));
  Paint();
}

void Form1::SetProgressValue(float value) {
  value_ = value;
  if (value == 0 || value == maximum_ || sincePaint_.elapsed() >= kPaintIntervalMs) Paint();
}

void Form1::Paint() {
  const double shown = maximum_ > INT_MAX ? value_ / maximum_ * INT_MAX : value_;
  progressBar1_->setValue(static_cast<int>(shown));
  sincePaint_.restart();
  // Lets the window repaint and the system see it alive; user input is swallowed by
  // eventFilter while a run is on.
  if (running_) QCoreApplication::processEvents();
}

void Form1::SetCaption(const std::string& caption) { command1_->setText(FromSplitter(caption)); }

void Form1::ShowMessage(const std::string& text, const std::string& title) {
  QMessageBox box(QMessageBox::Information, FromSplitter(title), FromSplitter(text), QMessageBox::Ok, this);
  box.exec();
}

void Form1::CloseWindow() {
  // The run is still on the stack; the window closes when it has returned.
  closeWhenDone_ = true;
}

void Form1::closeEvent(QCloseEvent* event) {
  if (running_) {
    closeWhenDone_ = true;
    event->ignore();
    return;
  }
  event->accept();
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
  if (!running_ || !watched->isWidgetType() || static_cast<QWidget*>(watched)->window() != this) {
    return QWidget::eventFilter(watched, event);
  }
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Wheel:
    case QEvent::Shortcut:
    case QEvent::ShortcutOverride:
      return true;
    default:
      return QWidget::eventFilter(watched, event);
  }
}
