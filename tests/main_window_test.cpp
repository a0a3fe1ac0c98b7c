// The window, driven through its real click handler under the offscreen platform, with the
// open-file dialog answered through its seam and the message boxes answered as a user would.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QTreeWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMessageBox>
#include <QMimeData>
#include <QTest>
#include <QUrl>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QHeaderView>
#include <QLabel>
#include <fstream>
#include <optional>
#include <random>
#include <QScreen>
#include <cmath>

#include "replay/base/paths.h"
#include "replay/base/system_files.h"
#include "replay/commit/folder_lock.h"
#include "replay/run/splitter.h"
#include "lock_step.h"
#include "replay_builder.h"
#include "temp_folder.h"
#include "window/flow.h"
#include "window/main_window.h"
#include "window/texts.h"

namespace {

using vehisect::testing::ReplayBuilder;
using vehisect::testing::Shared;
using vehisect::testing::TempFolder;
using vehisect::testing::Vehicle;
using Names = std::set<std::string>;

struct Shown {
  QString title;
  QString text;
  QMessageBox::Icon icon;
  QString informative = {};
  QString details = {};
  bool operator==(const Shown&) const = default;
};

void PrintTo(const Shown& s, std::ostream* os) {
  *os << s.title.toStdString() << ": " << s.text.toStdString() << " (icon " << s.icon << ") "
      << s.informative.toStdString() << " / " << s.details.toStdString();
}

// MainWindow as a test sees it during a run: the caption and bar at every progress step.
class WatchedForm : public vehisect::testing::Watched<MainWindow> {
 public:
  WatchedForm() : Watched(vehisect::SystemFiles()) {}
  std::vector<QString> captions;
  int largestValue = 0;

  void SetProgressValue(int value) override {
    MainWindow::SetProgressValue(value);
    captions.push_back(Button()->text());
    largestValue = std::max(largestValue, Bar()->value());
  }

  QPushButton* Button() { return findChild<QPushButton*>("OpenButton"); }
  QProgressBar* Bar() { return findChild<QProgressBar*>("ProgressBar"); }
  QCheckBox* Box() { return findChild<QCheckBox*>("RecordPtrBox"); }

 protected:
  void Seen() override { captions.push_back(Button()->text()); }
};

class MainWindowTest : public ::testing::Test {
 public:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "vehisect-tests";
    static char* argv[] = {name, nullptr};
    // A screen of 1280x800, as a small laptop's, which the dialogs must fit.
    const std::filesystem::path screen =
        std::filesystem::temp_directory_path() / ("vehisect-screen-" + std::to_string(std::random_device()()) + ".json");
    std::ofstream(screen) << R"({"screens": [{"name": "Laptop", "x": 0, "y": 0, "width": 1280, "height": 800,)"
                             R"( "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})";
    qputenv("QT_QPA_PLATFORM", QByteArray("offscreen:configfile=") + screen.string().c_str());
    if (QApplication::instance() == nullptr) new QApplication(argc, argv);
    std::filesystem::remove(screen);
  }

 protected:

  TempFolder folder;
  ReplayBuilder replay = vehisect::testing::ThreeVehicleRace();
  WatchedForm form;
  std::vector<Shown> messages;
  QString answer;  // the button a question is answered with, or "Escape"
  std::set<QString> buttons;
  QString defaultButton;
  std::function<void(QDialog*)> onChoose;  // plays the "Choose vehicles" dialog once
  QTimer answerer;

  MainWindowTest() {
    // Answers every message box with OK, and a question with `answer`, as soon as it is up.
    QObject::connect(&answerer, &QTimer::timeout, [this] {
      auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      if (dialog != nullptr && dialog->objectName() == "ChooseVehicles" && onChoose) {
        return std::exchange(onChoose, nullptr)(dialog);
      }
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        messages.push_back({box->windowTitle(), box->text(), box->icon(), box->informativeText(), box->detailedText()});
        if (QAbstractButton* ok = box->button(QMessageBox::Ok)) return ok->click();
        buttons.clear();
        for (const QAbstractButton* button : box->buttons()) buttons.insert(button->text());
        defaultButton = box->defaultButton()->text();
        if (answer == "Escape") return QTest::keyClick(box, Qt::Key_Escape);
        for (QAbstractButton* button : box->buttons()) {
          if (QString(button->text()).remove('&') == answer) return button->click();
        }
      }
    });
    answerer.start(5);
    form.show();
  }

  // Presses "Open" with `chosen` as the dialog's answer.
  void Open(std::vector<std::filesystem::path> chosen) {
    form.chosen = std::move(chosen);
    form.Button()->click();
    WaitForTheRun();
  }

  // Lets the window's events run until the run on its own thread has ended.
  void WaitForTheRun() {
    QApplication::processEvents();
    for (int i = 0; i < 3000 && form.Running(); ++i) QTest::qWait(10);
  }
};

// What the flow says is pinned by its own tests; here, that the window shows it: the caption
// and bar during the run, the boxes' icons, buttons and parts, the check boxes carried into
// the run, and the window closed or left ready.
TEST_F(MainWindowTest, SplitsWithTheBoxTickedThenSaysFinishedAndCloses) {
  const auto input = folder.Write("race.rpl", replay.Build());
  form.Box()->setChecked(true);
  Open({input});
  EXPECT_EQ(form.captions.front(), "Working...");
  EXPECT_EQ(form.Bar()->maximum(), 4);
  EXPECT_EQ(form.largestValue, 4);
  for (const QString& caption : form.captions) EXPECT_EQ(caption, "Working...");
  EXPECT_EQ(form.Bar()->value(), 0);
  EXPECT_EQ(form.Button()->text(), "&Open");
  EXPECT_EQ(messages, (std::vector<Shown>{{"Vehisect", "Finished", QMessageBox::Information}}));
  EXPECT_FALSE(form.isVisible());
  EXPECT_NE(folder.Read("VH_CANYON_Cy.rpl").find("demoRecordPtr\r\n777\r\n"), std::string::npos);
}

TEST_F(MainWindowTest, ShowsAFailureAndStaysReady) {
  replay.recordCount = "5";
  const auto input = folder.Write("short.rpl", replay.Build());
  Open({input});
  const QString where = QString::fromStdString(vehisect::PathToUtf8(input));
  const QString error = where + ":94: expected the \"type,time\" label line, found the end of the file, in record 5 of 5";
  EXPECT_EQ(messages, (std::vector<Shown>{{"Vehisect", "Could not split short.rpl. No file was written or changed.",
                                           QMessageBox::Warning, error, error}}));
  EXPECT_TRUE(form.isVisible());
  EXPECT_EQ(form.Button()->text(), "&Open");
  EXPECT_EQ(form.Bar()->value(), 0);

  // Ready for another run.
  replay.recordCount = "";
  Open({folder.Write("short.rpl", replay.Build())});
  EXPECT_EQ(form.choices, 2);
  EXPECT_FALSE(form.isVisible());
}

TEST_F(MainWindowTest, AsksBeforeReplacingAnotherRacesFiles) {
  const auto input = folder.Write("race.rpl", replay.Build());
  folder.Write("VH_CANYON_Ann.rpl", "another race");
  folder.Write("VH_CANYON_Bo.rpl", "another race");
  answer = "Escape";
  Open({input});
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].icon, QMessageBox::Warning);
  EXPECT_EQ(buttons, (std::set<QString>{"&Replace", "&Keep both", "Cancel"}));
  EXPECT_EQ(defaultButton, "&Keep both");
  EXPECT_TRUE(form.isVisible());
  EXPECT_EQ(form.Button()->text(), "&Open");
  EXPECT_EQ(form.Bar()->value(), 0);
  EXPECT_EQ(folder.Names(), (Names{"race.rpl", "VH_CANYON_Ann.rpl", "VH_CANYON_Bo.rpl"}));

  answer = "Keep both";
  Open({input});
  EXPECT_EQ(folder.Read("VH_CANYON_Ann.rpl"), "another race");
  EXPECT_EQ(folder.Names().count("VH_CANYON_Ann (2).rpl"), 1u);

  form.show();
  answer = "Replace";
  Open({input});
  EXPECT_EQ(folder.Read("VH_CANYON_Ann.rpl"), folder.Read("VH_CANYON_Ann (2).rpl"));
  EXPECT_FALSE(form.isVisible());
}

TEST_F(MainWindowTest, TakesNoInputDuringARunAndACloseStopsIt) {
  replay.recordCount = "5";  // the run fails, so the window would stay open
  const auto input = folder.Write("short.rpl", replay.Build());
  bool checked = true;
  form.duringRun = [&] {
    form.Button()->click();  // a second run must not start
    const QPointF middle = form.Box()->rect().center();
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
      QMouseEvent click(type, middle, form.Box()->mapToGlobal(middle), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(form.Box(), &click);
    }
    checked = form.Box()->isChecked();
    form.close();  // stops the run, and closes once it has stopped
    EXPECT_TRUE(form.isVisible());
  };
  Open({input});
  EXPECT_EQ(form.choices, 1);
  EXPECT_FALSE(checked);
  EXPECT_TRUE(messages.empty());
  EXPECT_FALSE(form.isVisible());
  EXPECT_EQ(folder.Names(), Names{"short.rpl"});
}

TEST_F(MainWindowTest, EscapeStopsARunAndLeavesTheWindowReady) {
  const auto input = folder.Write("race.rpl", replay.Build());
  form.duringRun = [&] {
    EXPECT_FALSE(form.Button()->isEnabled());
    EXPECT_FALSE(form.Box()->isEnabled());
    QTest::keyClick(&form, Qt::Key_Escape);
  };
  Open({input});
  EXPECT_TRUE(messages.empty());
  EXPECT_TRUE(form.isVisible());
  EXPECT_TRUE(form.Button()->isEnabled());
  EXPECT_EQ(form.Button()->text(), "&Open");
  EXPECT_EQ(form.Bar()->value(), 0);
  EXPECT_EQ(folder.Names(), Names{"race.rpl"});
}

TEST_F(MainWindowTest, SplitsDroppedReplaysInTurnAndSummarisesTheFailure) {
  QList<QUrl> urls;
  for (const auto& file : WriteDroppedReplays(folder, replay.Build()))
    urls.push_back(QUrl::fromLocalFile(QString::fromStdString(file.string())));
  QMimeData data;
  data.setUrls(urls);
  const QPoint middle = form.rect().center();
  QDragEnterEvent enter(middle, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&form, &enter);
  ASSERT_TRUE(enter.isAccepted());
  QDropEvent drop(middle, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&form, &drop);
  QApplication::processEvents();
  WaitForTheRun();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].icon, QMessageBox::Warning);
  EXPECT_TRUE(form.isVisible());
  EXPECT_EQ(form.Button()->text(), "&Open");
  EXPECT_EQ(form.Bar()->value(), 0);
  ExpectDroppedReplaysSplit(folder);
}

// "Choose vehicles" as a player uses it: "All vehicles" unticks every row, which disables
// Split, and ticks them again; Space unticks the second row; Return splits the others, byte
// for byte as a full split; Escape leaves the replay as it was.
TEST_F(MainWindowTest, ChoosesVehiclesInItsDialog) {
  const TempFolder full;
  vehisect::NullProgress quiet;
  vehisect::SplitReplay(vehisect::SystemFiles(), full.Write("race.rpl", replay.Build()), false, quiet, full.path());
  const auto input = folder.Write("race.rpl", replay.Build());
  auto* choose = form.findChild<QCheckBox*>("ChooseVehiclesBox");
  EXPECT_EQ(choose->text(), "&Choose vehicles");
  EXPECT_FALSE(choose->toolTip().isEmpty());
  choose->setChecked(true);
  form.chosen = {input};
  onChoose = [&](QDialog* dialog) {
    auto* rows = dialog->findChild<QTreeWidget*>("Vehicles");
    auto* all = dialog->findChild<QCheckBox*>("All");
    auto* split = dialog->findChild<QPushButton*>("Split");
    ASSERT_EQ(rows->topLevelItemCount(), 3);
    EXPECT_EQ(rows->topLevelItem(1)->text(1), "Bo");
    EXPECT_EQ(dialog->windowTitle(), "Vehisect");
    all->click();
    EXPECT_FALSE(split->isEnabled());
    all->click();
    EXPECT_TRUE(split->isEnabled());
    QTest::keyClick(rows, Qt::Key_Down);
    QTest::keyClick(rows, Qt::Key_Space);
    EXPECT_EQ(all->checkState(), Qt::PartiallyChecked);
    std::filesystem::create_directories("screenshots");
    dialog->grab().save("screenshots/choose-vehicles.png");
    QTest::keyClick(dialog, Qt::Key_Return);
  };
  form.Button()->click();
  WaitForTheRun();
  EXPECT_EQ(messages, (std::vector<Shown>{{"Vehisect", "Finished", QMessageBox::Information}}));
  EXPECT_EQ(folder.Names(), (Names{"race.rpl", "VH_CANYON_Ann.rpl", "VH_CANYON_Cy.rpl"}));
  for (const char* name : {"VH_CANYON_Ann.rpl", "VH_CANYON_Cy.rpl"}) EXPECT_EQ(folder.Read(name), full.Read(name));

  form.show();
  choose->setChecked(true);
  onChoose = [](QDialog* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); };
  form.Button()->click();
  WaitForTheRun();
  EXPECT_EQ(messages.size(), 1u);
  EXPECT_TRUE(form.isVisible());
  EXPECT_EQ(folder.Names(), (Names{"race.rpl", "VH_CANYON_Ann.rpl", "VH_CANYON_Cy.rpl"}));
}

// Started as "Split with Vehisect" splits every vehicle; started as "Choose vehicles with
// Vehisect..." (--choose), the same replay is first shown in the dialog, whose Cancel leaves
// it as it was.
TEST(MainWindowStartTest, SplitsTheReplaysItWasStartedWith) {
  MainWindowTest::SetUpTestSuite();
  {
    TempFolder folder;
    const auto input = folder.Write("race.rpl", ReplayBuilder().Build());
    QTimer answerer;
    bool chosen = false;
    QObject::connect(&answerer, &QTimer::timeout, [&] {
      auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      if (dialog == nullptr) return;
      // Any other box is closed too, so that it fails the test rather than waits for ever.
      chosen = dialog->objectName() == "ChooseVehicles";
      QTest::keyClick(dialog, Qt::Key_Escape);
    });
    answerer.start(5);
    MainWindow form(vehisect::SystemFiles(), {input}, true);
    form.show();
    for (int i = 0; i < 200 && !chosen; ++i) QTest::qWait(10);
    EXPECT_TRUE(chosen);
    EXPECT_EQ(folder.Names(), Names{"race.rpl"});
  }
  TempFolder folder;
  ReplayBuilder replay;
  replay.records = {Shared("s1")};
  const auto input = folder.Write("race.rpl", replay.Build());
  QTimer answerer;
  QString shown;
  QObject::connect(&answerer, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      shown = box->text();
      box->button(QMessageBox::Ok)->click();
    }
  });
  answerer.start(5);
  MainWindow form(vehisect::SystemFiles(), {input});
  form.show();
  for (int i = 0; i < 200 && form.isVisible(); ++i) QTest::qWait(10);
  EXPECT_EQ(shown, "Finished");
  EXPECT_FALSE(form.isVisible());
  EXPECT_EQ(folder.Names(), (Names{"race.rpl", "VH_CANYON_Ann.rpl", "VH_CANYON_Bo.rpl"}));
}

TEST_F(MainWindowTest, ExplainsTheCheckBoxInItsTooltip) {
  EXPECT_EQ(form.Box()->text(), "&Use demoRecordPtr");
  EXPECT_EQ(form.Box()->toolTip().toStdString(), vehisect::texts::kRecordPtrTooltip);
}

// A race of eight vehicles, one with a driver's name of 200 characters: the dialog fits the
// screen's work area, every column is as wide as its header, and the race is drawn beside
// them, kept as a screenshot.
TEST_F(MainWindowTest, DrawsTheRaceInADialogThatFitsTheScreen) {
  replay.vehicles.clear();
  replay.records.clear();
  for (int v = 0; v < 8; ++v) replay.vehicles.push_back({"truck.trk", v == 3 ? std::string(200, 'W') : "Driver" + std::to_string(v)});
  for (int frame = 0; frame < 240; ++frame) {
    for (int v = 0; v < 8; ++v) {
      const double angle = frame / 40.0 + v, radius = 1200.0 + 300 * v;
      const std::string x = std::to_string(static_cast<int>(4096 + radius * std::cos(angle)));
      const std::string z = std::to_string(static_cast<int>(4096 + 0.7 * radius * std::sin(angle)));
      replay.records.push_back(vehisect::testing::Moving(std::to_string(v), frame * 16384, x + ",0," + z, "0,0," + std::to_string(40 + v)));
    }
  }
  form.findChild<QCheckBox*>("ChooseVehiclesBox")->setChecked(true);
  onChoose = [&](QDialog* dialog) {
    auto* rows = dialog->findChild<QTreeWidget*>("Vehicles");
    EXPECT_EQ(dialog->screen()->size(), QSize(1280, 800));
    EXPECT_TRUE(dialog->screen()->availableGeometry().contains(dialog->frameGeometry())) << dialog->width();
    for (int c = 0; c < rows->columnCount(); ++c) {
      EXPECT_GE(rows->columnWidth(c), rows->header()->sectionSizeHint(c)) << c;
    }
    EXPECT_EQ(rows->topLevelItem(0)->text(4), "0:59.8");
    EXPECT_EQ(rows->topLevelItem(7)->text(6), "32 mph");  // 47 ft/s
    EXPECT_NE(dialog->findChild<QWidget*>("RacePicture"), nullptr);
    QTest::keyClick(rows, Qt::Key_Down);
    QTest::keyClick(rows, Qt::Key_Space);
    std::filesystem::create_directories("screenshots");
    dialog->grab().save("screenshots/race-picture.png");
    QTest::keyClick(dialog, Qt::Key_Escape);
  };
  Open({folder.Write("race.rpl", replay.Build())});
  EXPECT_EQ(folder.Names(), Names{"race.rpl"});
}

// Two runs into one folder: while this one waits for the other's lock, the window says so
// where the bar is, with the folder in a tooltip; the bar is back when the wait ends.
TEST_F(MainWindowTest, SaysWhereTheBarIsWhenItWaitsForAnotherRun) {
  std::optional<vehisect::FolderLock> other;
  other.emplace(vehisect::SystemFiles(), folder.path(), std::chrono::milliseconds(0), nullptr, nullptr);
  auto* waiting = form.findChild<QLabel*>("Waiting");
  QString shown, tip;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (!other || !waiting->isVisible()) return;
    shown = waiting->text();
    tip = waiting->toolTip();
    other.reset();
  });
  watch.start(5);
  Open({folder.Write("race.rpl", replay.Build())});
  EXPECT_EQ(shown, "Waiting for another run\u2026");
  EXPECT_EQ(tip, QString::fromStdString(vehisect::PathToUtf8(folder.path())));
  EXPECT_FALSE(waiting->isVisibleTo(&form));
  EXPECT_TRUE(form.Bar()->isVisibleTo(&form));
  EXPECT_EQ(messages, (std::vector<Shown>{{"Vehisect", "Finished", QMessageBox::Information}}));
}

}  // namespace
