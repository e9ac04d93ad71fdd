// The window as a person uses it, with a library table that answers as each test tells it.
#include <sys/resource.h>

#include <QAction>
#include <QDialog>
#include <QFile>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QTreeView>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QLineEdit>
#include <QPushButton>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSettings>
#include <QSignalSpy>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>
#include <QTimer>
#include <csignal>
#include <atomic>
#include <deque>
#include <functional>
#include <future>
#include <limits>
#include <mutex>

#include "support/environment.h"
#include "support/files.h"
#include "commands/menu.h"
#include "commands/menu_commands.h"
#include "commands/people_text.h"
#include "gui_prompts.h"
#include "main_frame.h"
#include "progress_window.h"
#include "signal_watch.h"
#include "test_routines_dialog.h"
#include "window_placement.h"

using namespace omrix::commands;
using namespace omrix::shell;
using omrix::testing::FileSizeLimit;

namespace {

class AnsweringPrompts final : public Prompts {
 public:
  Answer MessageBox(const std::string& text, Buttons, Icon) override {
    boxes.push_back(text);
    if (whileShown) whileShown(text);
    return Answer::Ok;
  }
  std::function<void(const std::string&)> whileShown;  // what happens while a box is up
  std::optional<std::string> ChooseFile(const FileChooser&) override { return std::nullopt; }
  void Beep() override { ++beeps; }
  std::unique_ptr<Progress> ShowProgress() override { return CGuiPrompts().ShowProgress(); }
  std::vector<std::string> boxes;
  int beeps = 0;
};

// The library's side of a session, told what to answer; the calls it gets are kept.
struct FakeLibrary {
  std::int32_t driver = 1;
  std::int32_t interpretation = 1;
  std::atomic<int> interpretations{0};
  std::int32_t fpgaConfig = OMRIX_FPGA_CLEARED;
  bool device = false;
  std::mutex mutex;
  std::vector<std::string> calls;
  MessageFunction messages = nullptr;

  void Note(const std::string& call) {
    std::lock_guard<std::mutex> lock(mutex);
    calls.push_back(call);
  }
  std::vector<std::string> Calls() {
    std::lock_guard<std::mutex> lock(mutex);
    return calls;
  }
  Library Table() {
    Library l;
    l.HwaccInit_EnableDllMessages = [this](MessageFunction callback) {
      messages = callback;
      return driver;
    };
    l.InterpreteOmrixDat = [this] {
      ++interpretations;
      return interpretation;
    };
    l.FpgaConfig = [this](const char* source, std::int32_t, std::int32_t) {
      Note(std::string("FpgaConfig(") + source + ")");
      return fpgaConfig;
    };
    l.IsDeviceInitialized = [this] { return device ? 1 : 0; };
    l.DeInitOmrix = [this](std::int32_t mode) {
      Note("DeInitOmrix(" + std::to_string(mode) + ")");
      return 1;  // failing: the shutdown goes on all the same
    };
    l.HwaccDeInit = [this] {
      Note("HwaccDeInit()");
      return 1;
    };
    l.outbyte = [this](std::int32_t address, std::int32_t data) {
      Note("outbyte(" + std::to_string(address) + ", " + std::to_string(data) + ")");
    };
    return l;
  }
};

}  // namespace

CProgressWindow* ShownProgressWindow() {
  for (QWidget* window : QApplication::topLevelWidgets()) {
    auto* progress = qobject_cast<CProgressWindow*>(window);
    if (progress != nullptr && progress->isVisible()) return progress;
  }
  return nullptr;
}

class MainFrameTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    settingsHome_ = std::make_unique<QTemporaryDir>();
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsHome_->path());
    QSettings().clear();
    qunsetenv("OMRIX_LIBRARY_DIR");
    logHome_ = std::make_unique<QTemporaryDir>();
    library_ = std::make_unique<FakeLibrary>();
    prompts_ = std::make_unique<AnsweringPrompts>();
  }

  void jtagPathLeavesTheLinesToTheToolAndNeverExitsWithModeZero() {
    for (const bool signalWhileAsked : {false, true}) {
      library_ = std::make_unique<FakeLibrary>();
      prompts_->boxes.clear();
      library_->interpretation = 16;
      CMainFrame frame(library_->Table(), *prompts_);
      Isolated(frame);
      // A signal while the JTAG box is up asks for an exit behind the JTAG path's own end.
      prompts_->whileShown = [&frame, signalWhileAsked](const std::string&) {
        if (signalWhileAsked) frame.EndOnSignal(SIGTERM);
      };
      QSignalSpy done(&frame, &CMainFrame::ShutDownDone);
      frame.StartUp();
      QTRY_COMPARE(done.count(), 1);
      QCOMPARE(library_->Calls(), (std::vector<std::string>{"DeInitOmrix(2)", "HwaccDeInit()"}));
      QCOMPARE(prompts_->boxes.size(), std::size_t{1});
    }
    prompts_->whileShown = nullptr;
  }

  void driverThatCannotBeBroughtUpEndsTheProgramWithoutTheSetupData() {
    library_->driver = 0;
    CMainFrame frame(library_->Table(), *prompts_);
    Isolated(frame);
    QSignalSpy done(&frame, &CMainFrame::ShutDownDone);
    frame.StartUp();
    QTRY_COMPARE(done.count(), 1);
    QCOMPARE(library_->interpretations.load(), 0);
    QCOMPARE(library_->Calls(), (std::vector<std::string>{"DeInitOmrix(0)", "HwaccDeInit()"}));
    QCOMPARE(prompts_->boxes.size(), std::size_t{1});
    QVERIFY(prompts_->boxes.front().rfind("FATAL ERROR: The driver", 0) == 0);
  }

  void failingStepIsShownAsOmrixctlNamesIt() {
    library_->device = true;
    const struct {
      std::int32_t code;
      QString line;
    } table[] = {
        {8, QStringLiteral(" -> ERROR: FpgaConfig(\"CLEAR\", 0, 1) -> result: 8")},
        {0x100, QStringLiteral(" -> ERROR: FpgaConfig(\"CLEAR\", 0, 1) -> result: 0x100")},
    };
    for (const auto& row : table) {
      library_->fpgaConfig = row.code;
      CMainFrame frame(library_->Table(), *prompts_);
      Isolated(frame);
      frame.StartUp();
      QTRY_VERIFY(!frame.Busy());
      emit frame.menuBar()->findChildren<QMenu*>().first()->aboutToShow();
      frame.PostCommand(ID_FPGA_CLEAR);
      QTRY_VERIFY(!frame.Busy());
      QVERIFY2(frame.outputWindow()->Lines().contains(row.line),
               qPrintable(frame.outputWindow()->toPlainText()));
    }
    // A chooser closed without a file did nothing, and failed in nothing.
    CMainFrame frame(library_->Table(), *prompts_);
    Isolated(frame);
    frame.StartUp();
    QTRY_VERIFY(!frame.Busy());
    frame.PostCommand(ID_FPGA_CONFIG_PC);
    QTRY_VERIFY(!frame.Busy());
    QVERIFY2(!frame.outputWindow()->toPlainText().contains(QStringLiteral("ERROR")),
             qPrintable(frame.outputWindow()->toPlainText()));
  }

  void closeBoxIsFileExitAndAnEndAskedTwiceRunsOnce() {
    CMainFrame frame(library_->Table(), *prompts_);
    Isolated(frame);
    frame.StartUp();
    QTRY_VERIFY(!frame.Busy());
    QSignalSpy done(&frame, &CMainFrame::ShutDownDone);
    emit frame.menuBar()->findChildren<QMenu*>().first()->aboutToShow();
    frame.Action(ID_APP_EXIT)->trigger();
    frame.close();  // the close box while the exit runs
    frame.close();
    QTRY_COMPARE(done.count(), 1);
    QCOMPARE(library_->Calls(), (std::vector<std::string>{"DeInitOmrix(0)", "HwaccDeInit()"}));
    QCOMPARE(prompts_->boxes, std::vector<std::string>{"device not found"});
    QSettings settings;
    settings.beginGroup(QStringLiteral("Settings"));
    for (const char* key :
         {"wp.showCmd", "wp.flags", "wp.ptMinPosition.x", "wp.ptMinPosition.y",
          "wp.ptMaxPosition.x", "wp.ptMaxPosition.y", "wp.left", "wp.right", "wp.top", "wp.bottom"})
      QVERIFY2(settings.contains(QLatin1String(key)), key);
    QCOMPARE(settings.value(QStringLiteral("wp.showCmd")).toInt(), 1);
    QVERIFY(QFile::exists(logHome_->filePath(QStringLiteral("omrix.log"))));
  }

  void placementIsKeptWhenSoundAndFittedToTheDesktopWhenNot() {
    QWidget window;
    window.setGeometry(100, 120, 300, 200);
    SaveWindowPlacement(window);
    QWidget next;
    QVERIFY(RestoreWindowPlacement(next));
    QCOMPARE(next.geometry(), QRect(100, 120, 300, 200));

    const QRect desktop = QGuiApplication::primaryScreen()->virtualGeometry();
    const int kMin = std::numeric_limits<int>::min();
    const int kMax = std::numeric_limits<int>::max();
    struct Stored {
      int left, top, right, bottom;
      std::optional<QRect> shown;
    };
    const Stored table[] = {
        {50000, 120, 50300, 320, std::nullopt},  // wholly off the desktop
        {100, 120, 100, 320, std::nullopt},      // empty
        {300, 120, 100, 320, std::nullopt},      // inverted
        {0, 0, 100000, 100000, desktop},         // larger than the desktop
        {kMin, kMin, kMax, kMax, desktop},       // a width no int holds
        {kMax, kMax, kMin, kMin, std::nullopt},
        {-200, 10, 300, 210, QRect(-200, 10, 500, 200)},  // partly off: kept as it is
    };
    for (const Stored& stored : table) {
      QSettings settings;
      settings.beginGroup(QStringLiteral("Settings"));
      settings.setValue(QStringLiteral("wp.left"), stored.left);
      settings.setValue(QStringLiteral("wp.top"), stored.top);
      settings.setValue(QStringLiteral("wp.right"), stored.right);
      settings.setValue(QStringLiteral("wp.bottom"), stored.bottom);
      settings.endGroup();
      QWidget restored;
      restored.setGeometry(10, 20, 300, 200);
      const QString row = QStringLiteral("%1 %2 %3 %4")
                              .arg(stored.left)
                              .arg(stored.top)
                              .arg(stored.right)
                              .arg(stored.bottom);
      QVERIFY2(RestoreWindowPlacement(restored) == stored.shown.has_value(), qPrintable(row));
      QVERIFY2(restored.geometry() == stored.shown.value_or(QRect(10, 20, 300, 200)),
               qPrintable(row));
    }
  }

  void secondCopyOpensApartFromTheFirst() {
    QWidget first;
    first.setGeometry(100, 120, 300, 200);
    SaveWindowPlacement(first);
    for (const bool stored : {true, false}) {
      if (!stored) QSettings().clear();
      QWidget one;
      QWidget two;
      one.setGeometry(100, 120, 300, 200);
      two.setGeometry(100, 120, 300, 200);
      RestoreWindowPlacement(one, 1);
      RestoreWindowPlacement(two, 2);
      QCOMPARE(one.geometry(), QRect(100, 120, 300, 200));
      QCOMPARE(two.size(), one.size());
      QVERIFY(two.x() > one.x() && two.y() > one.y());
      QVERIFY(QGuiApplication::primaryScreen()->virtualGeometry().contains(two.geometry()));
    }
  }

  void outputKeepsOneBlankPerPieceAndGoesInAtTheInsertionPoint() {
    COutputEdit edit;
    edit.AppendOutput(QStringLiteral("a\nb\n"));
    QCOMPARE(edit.Lines(), (QStringList{QStringLiteral(" a"), QStringLiteral("b"), QString()}));
    QCOMPARE(edit.textCursor().position(), edit.document()->characterCount() - 1);
    // A selection is collapsed to its end, never replaced.
    QTextCursor cursor(edit.document());
    cursor.setPosition(3);
    cursor.setPosition(1, QTextCursor::KeepAnchor);
    edit.setTextCursor(cursor);
    edit.AppendOutput(QStringLiteral("x"));
    QCOMPARE(edit.Lines().first(), QStringLiteral(" a"));
    QCOMPARE(edit.Lines().at(1), QStringLiteral(" xb"));
    // Nothing is cut: no 1022-byte piece, no 16 KB window.
    const QString piece(2000, QLatin1Char('y'));
    for (int i = 0; i < 20; ++i) edit.AppendOutput(piece + QLatin1Char('\n'));
    QCOMPARE(edit.Lines().at(2).size(), 2001);
    QCOMPARE(edit.Lines().size(), 23);
  }

  void logHoldsWhatWasSaidWhileItRunsAndTheWindowWholeAtTheEnd() {
    CMainFrame frame(library_->Table(), *prompts_);
    Isolated(frame);
    frame.StartUp();
    QTRY_VERIFY(!frame.Busy());
    const QString logPath = logHome_->filePath(QStringLiteral("omrix.log"));
    QVERIFY(ReadAll(logPath).contains("omrix for Windows"));  // no exit needed
    // A second copy beside it takes a log of its own and leaves the first one's alone.
    FakeLibrary secondLibrary;
    CMainFrame second(secondLibrary.Table(), *prompts_);
    Isolated(second);
    second.StartUp();
    QTRY_VERIFY(!second.Busy());
    QCOMPARE(frame.Copy(), 1);
    QCOMPARE(second.Copy(), 2);
    second.outputWindow()->AppendOutput(QStringLiteral("second copy\n"));
    QVERIFY(ReadAll(logHome_->filePath(QStringLiteral("omrix-2.log"))).contains("second copy"));
    QVERIFY(!ReadAll(logPath).contains("second copy"));
    QVERIFY(ReadAll(logPath).contains("omrix for Windows"));

    // At the end the window's text as it stands, edits included, every line whole.
    const QString longLine(300, QLatin1Char('z'));
    frame.outputWindow()->AppendOutput(longLine + QStringLiteral("\n\u00B4omrix.dat\u00B4\n"));
    frame.outputWindow()->moveCursor(QTextCursor::Start);
    frame.outputWindow()->insertPlainText(QStringLiteral("typed "));
    QSignalSpy done(&frame, &CMainFrame::ShutDownDone);
    frame.close();
    QTRY_COMPARE(done.count(), 1);
    const QByteArray log = ReadAll(logPath);
    QCOMPARE(log, (frame.outputWindow()->Lines().join(QLatin1Char('\n')) + '\n').toUtf8());
    QVERIFY(log.startsWith("typed "));
    QVERIFY(log.contains(longLine.toUtf8() + "\n\xC2\xB4omrix.dat\xC2\xB4\n"));
    QCOMPARE(QDir(logHome_->path()).entryList(QDir::Files).size(), 2);  // no temporary left
  }

  void logThatCannotBeWrittenIsSaidAndTheOldOneKept() {
    CMainFrame frame(library_->Table(), *prompts_);
    Isolated(frame);
    frame.StartUp();
    QTRY_VERIFY(!frame.Busy());
    const QString logPath = logHome_->filePath(QStringLiteral("omrix.log"));
    const QByteArray before = ReadAll(logPath);
    QVERIFY(before.contains("omrix for Windows"));
    {
      // The disk is full: no file may grow past what the log holds now.
      FileSizeLimit full(before.size());
      frame.outputWindow()->AppendOutput(QString(100, QLatin1Char('x')) + QLatin1Char('\n'));
      frame.outputWindow()->AppendOutput(QStringLiteral("after\n"));
      const QString shown = frame.outputWindow()->toPlainText();
      const QString line = QStringLiteral("-> ERROR: Could not write file \u00B4") + logPath +
                           QStringLiteral("\u00B4: File too large");
      QCOMPARE(shown.count(line), 1);  // said once, not at every piece
      frame.outputWindow()->moveCursor(QTextCursor::Start);
      frame.outputWindow()->insertPlainText(QStringLiteral("typed "));
      QSignalSpy done(&frame, &CMainFrame::ShutDownDone);
      frame.close();
      QTRY_COMPARE(done.count(), 1);
      QCOMPARE(prompts_->boxes.back(),
               "Could not write file \xB4" + logPath.toStdString() + "\xB4: File too large");
    }
    QCOMPARE(ReadAll(logPath), before);
    QCOMPARE(QDir(logHome_->path()).entryList(QDir::Files).size(), 1);
  }

  void previousSessionsLogOutlivesANewOneThatCannotBeWritten() {
    const QString logPath = logHome_->filePath(QStringLiteral("omrix.log"));
    const QByteArray previous("the session before\n");
    {
      QFile log(logPath);
      QVERIFY(log.open(QIODevice::WriteOnly));
      QCOMPARE(log.write(previous), qint64(previous.size()));
    }
    constexpr qint64 kRoom = 8;  // the disk fills up within the new session's first line
    CMainFrame frame(library_->Table(), *prompts_);
    Isolated(frame);
    FileSizeLimit full(kRoom);
    frame.StartUp();
    QTRY_VERIFY(!frame.Busy());
    // Had it crashed here, both sessions would be on the disk as far as they could be written.
    const QByteArray said = frame.outputWindow()->toPlainText().toUtf8();
    QCOMPARE(ReadAll(logPath), said.left(kRoom));
    QCOMPARE(ReadAll(logPath + QStringLiteral(".1")), previous);
    QSignalSpy done(&frame, &CMainFrame::ShutDownDone);
    frame.close();
    QTRY_COMPARE(done.count(), 1);
    QCOMPARE(ReadAll(logPath), said.left(kRoom));
    QCOMPARE(ReadAll(logPath + QStringLiteral(".1")), previous);
  }

  void sessionFollowsThePreviousLogWhereThatCannotBeSetAside() {
    const QString logPath = logHome_->filePath(QStringLiteral("omrix.log"));
    const QByteArray previous("the session before\n");
    {
      QFile log(logPath);
      QVERIFY(log.open(QIODevice::WriteOnly));
      QCOMPARE(log.write(previous), qint64(previous.size()));
    }
    // Something in the way that nothing may remove.
    QVERIFY(QDir(logHome_->path()).mkpath(QStringLiteral("omrix.log.1/kept")));
    CMainFrame frame(library_->Table(), *prompts_);
    Isolated(frame);
    frame.StartUp();
    QTRY_VERIFY(!frame.Busy());
    const QByteArray log = ReadAll(logPath);
    QVERIFY(log.startsWith(previous));
    QVERIFY(log.contains("omrix for Windows"));
  }

  void menusFollowTheDeviceStateAndWaitForACommand() {
    CMainFrame frame(library_->Table(), *prompts_);
    Isolated(frame);
    frame.StartUp();
    QTRY_VERIFY(!frame.Busy());
    QMenu* file = frame.menuBar()->findChild<QMenu*>();
    QVERIFY(file != nullptr);
    emit file->aboutToShow();
    QVERIFY(frame.Action(ID_SETUP_AUTO)->isEnabled());
    QVERIFY(frame.Action(ID_APP_EXIT)->isEnabled());
    QVERIFY(!frame.Action(ID_PROGRAM_CPU1)->isEnabled());
    QVERIFY(!frame.Action(ID_UPDATE_CPU)->isEnabled());

    // A setup that finds the board, held until the test lets it go.
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    Library table = library_->Table();
    FakeLibrary* fake = library_.get();
    table.HwaccInit_EnableDllMessages = [fake](MessageFunction callback) {
      fake->messages = callback;
      return 1;
    };
    table.SetupOmrix = [fake, released](std::int32_t) {
      fake->messages("Setup device at I/O address 3BCh ...\n");
      released.wait();
      fake->device = true;
      return 0;
    };
    CMainFrame running(table, *prompts_);
    Isolated(running);
    running.StartUp();
    QTRY_VERIFY(!running.Busy());
    running.Action(ID_SETUP_AUTO)->trigger();
    QTRY_VERIFY(running.outputWindow()->toPlainText().contains(QStringLiteral("3BCh")));
    QVERIFY(running.Busy());
    QVERIFY(!running.Action(ID_SETUP_AUTO)->isEnabled());
    QVERIFY(running.Action(ID_APP_ABOUT)->isEnabled());
    release.set_value();
    QTRY_VERIFY(!running.Busy());
    QVERIFY(running.Action(ID_UPDATE_CPU)->isEnabled());  // top-level: after every command
  }

  void libraryTextsStayTheWindowsWhenOtherCommandsComeAndGo() {
    CMainFrame frame(library_->Table(), *prompts_);
    Isolated(frame);
    frame.StartUp();
    QTRY_VERIFY(!frame.Busy());
    struct : Output {
      void AppendOutput(const std::string&) override {}
    } elsewhere;
    { MenuCommands passing(library_->Table(), elsewhere, *prompts_); }
    library_->messages("still here\n");
    QVERIFY2(frame.outputWindow()->toPlainText().contains(QStringLiteral("still here")),
             qPrintable(frame.outputWindow()->toPlainText()));
  }

  void testRoutinesAnswerInTheMainOutputAndKeepExecuteEnabled() {
    library_->device = true;
    CMainFrame frame(library_->Table(), *prompts_);
    Isolated(frame);
    frame.StartUp();
    QTRY_VERIFY(!frame.Busy());
    QSignalSpy answered(&frame, &CMainFrame::CommandFinished);
    bool closed = false;
    // The dialog is modal: the person acts from inside its event loop.
    QTimer person;
    connect(&person, &QTimer::timeout, this, [&] {
      auto* dialog = qobject_cast<CTestRoutinesDialog*>(QApplication::activeModalWidget());
      if (dialog == nullptr) return;
      person.stop();
      QCOMPARE(dialog->windowTitle(), QStringLiteral("test routines"));
      QVERIFY(!dialog->executeButton()->isEnabled());
      const auto before = answered.count();
      for (const char* command : {"o 1 ff", "x", "@"}) {
        QTest::keyClicks(dialog->commandField(), QLatin1String(command));
        QTest::keyClick(dialog->commandField(), Qt::Key_Return);
        QVERIFY(dialog->commandField()->text().isEmpty());
        QVERIFY(dialog->executeButton()->isEnabled());
      }
      CProgressWindow* progress = nullptr;
      QTRY_VERIFY((progress = ShownProgressWindow()) != nullptr);
      QVERIFY(!dialog->isEnabled());
      QTest::keyClick(progress, Qt::Key_Escape);
      QTRY_COMPARE(answered.count(), before + 3);
      QVERIFY(dialog->isEnabled());
      QTest::keyClick(dialog->commandField(), Qt::Key_Escape);
      closed = true;
    });
    person.start(10);
    emit frame.menuBar()->findChildren<QMenu*>().first()->aboutToShow();
    frame.Action(ID_COMMANDLINE)->trigger();
    QTRY_VERIFY(closed);
    QTRY_VERIFY(QApplication::activeModalWidget() == nullptr);
    QCOMPARE(prompts_->beeps, 1);
    QVERIFY(library_->Calls() == std::vector<std::string>{"outbyte(1, 255)"});
    const QStringList lines = frame.outputWindow()->Lines();
    for (const char* expected :
         {" Cmdline help for test routines", " o 1 ff ", " FFh written to address 01h",
          " Sorry, this command is not implemented", " nothing happens, just waiting", " aborted"})
      QVERIFY2(lines.contains(QLatin1String(expected)), qPrintable(lines.join(QLatin1Char('|'))));
  }

  void progressWindowReportsAStopOnceAndGivesBackOnlyWhatItTook() {
    QWidget owner;
    owner.show();
    {
      CProgressWindow window(&owner);
      QCOMPARE(window.windowTitle(), QStringLiteral("Press ESCAPE to stop execution"));
      QVERIFY(!owner.isEnabled());
      QVERIFY(window.isEnabled());
      QTest::keyClick(&window, Qt::Key_Escape);
      QTest::keyClick(&window, Qt::Key_Escape);
      QVERIFY(window.isVisible());
      QVERIFY(window.CheckCancel());
      QVERIFY(!window.CheckCancel());
      for (int step = 0; step < 20; ++step) window.StepIt();
      QCOMPARE(window.Position(), 20);
      window.StepIt();
      QCOMPARE(window.Position(), 0);
    }
    QVERIFY(owner.isEnabled());
    owner.setEnabled(false);
    { CProgressWindow window(&owner); }
    QVERIFY(!owner.isEnabled());
  }

  void basicRamChooserAddsItsExtensionToABareName() {
    QTemporaryDir directory;
    QSettings().setValue(QStringLiteral("FileChoosers/Save MCS BASIC-52 program from RAM to disk"),
                         directory.path());
    const FileChooser chooser{FileChooser::Kind::Open,
                              "Save MCS BASIC-52 program from RAM to disk",
                              {{"MCS BASIC-52 program (*.b52)", "*.b52"}},
                              "*.b52"};
    const std::optional<std::string> path = Choose(chooser, QStringLiteral("program"));
    QVERIFY(path.has_value());
    QCOMPARE(QString::fromStdString(*path), directory.filePath(QStringLiteral("program.b52")));
  }

  void choosersStartWhereTheFilesLieAndRememberTheChosenFilesDirectory() {
    QTemporaryDir library;
    QTemporaryDir typedTo;
    QVERIFY(QDir(typedTo.path()).mkdir(QStringLiteral("sub")));
    qputenv("OMRIX_LIBRARY_DIR", library.path().toUtf8());
    const FileType bit{"FPGA configuration file (*.bit)", "*.bit"};
    const FileChooser open{FileChooser::Kind::Open, "Config via PC", {bit}, "*.bit"};
    const FileChooser save{FileChooser::Kind::Save, "Save flash", {bit}, "*.bit"};
    const QString typed = typedTo.filePath(QStringLiteral("sub/design.bit"));
    struct Case {
      const FileChooser* chooser;
      QString first;  // where it opens with nothing remembered
    };
    for (const Case& each : {Case{&open, library.path()}, Case{&save, QDir::homePath()}}) {
      QString shown;
      QCOMPARE(QString::fromStdString(Choose(*each.chooser, typed, &shown).value_or("")), typed);
      QCOMPARE(QDir(shown).canonicalPath(), QDir(each.first).canonicalPath());
      Choose(*each.chooser, QStringLiteral("again.bit"), &shown);
      QCOMPARE(shown, typedTo.filePath(QStringLiteral("sub")));
    }
  }

  void chooserShowsARowWhole() {
    QTemporaryDir directory;
    QFile file(directory.filePath(QStringLiteral("a-sample-cpu-program-of-the-board.bin")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.write(QByteArray(16500, 'x')) == 16500);
    file.close();
    QSettings().setValue(QStringLiteral("FileChoosers/Program flash"), directory.path());
    const FileChooser chooser{
        FileChooser::Kind::Open, "Program flash", {{"CPU program file (*.bin)", "*.bin"}}, "*.bin"};
    bool whole = false;
    Choose(chooser, QStringLiteral("x.bin"), nullptr, [&whole](QFileDialog& dialog) {
      auto* view = dialog.findChild<QTreeView*>();
      QVERIFY(view != nullptr);
      QTRY_VERIFY(view->model()->rowCount(view->rootIndex()) == 1);
      // The widths a column needs to show what it holds, as the view measures them.
      const auto needs = [view](int column) {
        return static_cast<QAbstractItemView*>(view)->sizeHintForColumn(column);
      };
      QTRY_VERIFY(view->columnWidth(1) >= needs(1));
      int used = 0;
      for (int column = 0; column < view->model()->columnCount(view->rootIndex()); ++column) {
        QVERIFY2(view->columnWidth(column) >= needs(column), qPrintable(QString::number(column)));
        used += view->columnWidth(column);
      }
      QVERIFY(used <= view->viewport()->width());
      whole = true;
    });
    QVERIFY(whole);
  }

  void windowAndAboutBoxShowTheIconAndAboutTheBuildsVersion() {
    CMainFrame frame(library_->Table(), *prompts_);
    QVERIFY(!frame.windowIcon().isNull());
    QStringList texts;
    bool iconShown = false;
    QTimer person;
    connect(&person, &QTimer::timeout, this, [&] {
      auto* about = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      if (about == nullptr) return;
      person.stop();
      for (const QLabel* label : about->findChildren<QLabel*>()) {
        texts << label->text();
        if (!label->pixmap().isNull()) iconShown = true;
      }
      about->accept();
    });
    person.start(10);
    emit frame.menuBar()->findChildren<QMenu*>().first()->aboutToShow();
    frame.Action(ID_APP_ABOUT)->trigger();
    QVERIFY(iconShown);
    QVERIFY2(texts.contains(QStringLiteral("This build: version " OMRIX_VERSION)),
             qPrintable(texts.join(QLatin1Char('|'))));
    QVERIFY(texts.contains(QStringLiteral("Version 1.24,  january 2005")));
  }

  void endingSignalsArriveOnTheEventLoopAndTheOldHandlersComeBack() {
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
      struct sigaction before {};
      sigaction(signal, nullptr, &before);
      {
        CSignalWatch watch;
        QSignalSpy arrived(&watch, &CSignalWatch::Arrived);
        QCOMPARE(std::raise(signal), 0);
        QTRY_COMPARE(arrived.count(), 1);
        QCOMPARE(arrived.first().first().toInt(), signal);
      }
      struct sigaction now {};
      sigaction(signal, nullptr, &now);
      QVERIFY(now.sa_handler == before.sa_handler);
    }
    QCOMPARE(CSignalWatch::ExitStatus(SIGTERM), 143);
  }

  void signalLetsTheRunningCommandFinishThenEndsAsFileExit() {
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    Library table = library_->Table();
    FakeLibrary* fake = library_.get();
    table.SetupOmrix = [fake, released](std::int32_t) {
      fake->messages("Setup device at I/O address 3BCh ...\n");
      released.wait();
      fake->Note("SetupOmrix done");
      return 1;
    };
    CMainFrame frame(table, *prompts_);
    Isolated(frame);
    frame.StartUp();
    QTRY_VERIFY(!frame.Busy());
    QSignalSpy done(&frame, &CMainFrame::ShutDownDone);
    frame.PostCommand(ID_SETUP_AUTO);
    QTRY_VERIFY(frame.outputWindow()->toPlainText().contains(QStringLiteral("3BCh")));
    frame.PostCommand(ID_FPGA_CLEAR);  // queued behind it: never runs
    frame.EndOnSignal(SIGTERM);
    frame.EndOnSignal(SIGINT);  // the first signal says how it ended
    QCoreApplication::processEvents();
    QVERIFY(library_->Calls().empty());
    release.set_value();
    QTRY_COMPARE(done.count(), 1);
    QCOMPARE(library_->Calls(),
             (std::vector<std::string>{"SetupOmrix done", "DeInitOmrix(0)", "HwaccDeInit()"}));
    QCOMPARE(frame.ExitStatus(), 128 + SIGTERM);
    QVERIFY(QSettings().contains(QStringLiteral("Settings/wp.left")));
    QVERIFY(ReadAll(logHome_->filePath(QStringLiteral("omrix.log"))).contains("3BCh"));
  }

  void signalStopsTheWaitingLoopAndTheTestRoutinesAtOnce() {
    library_->device = true;
    CMainFrame frame(library_->Table(), *prompts_);
    Isolated(frame);
    frame.StartUp();
    QTRY_VERIFY(!frame.Busy());
    QSignalSpy done(&frame, &CMainFrame::ShutDownDone);
    QTimer person;
    connect(&person, &QTimer::timeout, this, [&] {
      auto* dialog = qobject_cast<CTestRoutinesDialog*>(QApplication::activeModalWidget());
      if (dialog == nullptr) return;
      person.stop();
      QTest::keyClicks(dialog->commandField(), QStringLiteral("@"));
      QTest::keyClick(dialog->commandField(), Qt::Key_Return);
      QTRY_VERIFY(ShownProgressWindow() != nullptr);
      frame.EndOnSignal(SIGHUP);
    });
    person.start(10);
    emit frame.menuBar()->findChildren<QMenu*>().first()->aboutToShow();
    frame.Action(ID_COMMANDLINE)->trigger();
    QTRY_COMPARE(done.count(), 1);
    QVERIFY(frame.outputWindow()->Lines().contains(QStringLiteral(" aborted")));
    QCOMPARE(frame.ExitStatus(), 128 + SIGHUP);
  }

  void withdrawnPromptsGiveTheAnswerThatChangesNothing() {
    const struct {
      Buttons buttons;
      Answer answer;
    } table[] = {{Buttons::OkCancel, Answer::Cancel},
                 {Buttons::YesNo, Answer::No},
                 {Buttons::Ok, Answer::Ok}};
    for (const auto& row : table) {
      CGuiPrompts prompts;
      QTimer signal;
      connect(&signal, &QTimer::timeout, this, [&] {
        if (qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) == nullptr) return;
        signal.stop();
        prompts.Withdraw();
      });
      signal.start(10);
      QCOMPARE(prompts.MessageBox("Test passed ?", row.buttons, Icon::Question), row.answer);
      // Later questions are not shown at all.
      bool shown = false;
      QTimer watch;
      connect(&watch, &QTimer::timeout, this, [&] {
        if (auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
          shown = true;
          modal->reject();
        }
      });
      watch.start(10);
      QCOMPARE(prompts.MessageBox("again ?", Buttons::YesNo, Icon::Question), Answer::No);
      const FileChooser chooser{FileChooser::Kind::Open,
                                "Config via PC",
                                {{"FPGA configuration file (*.bit)", "*.bit"}},
                                "*.bit"};
      QVERIFY(!prompts.ChooseFile(chooser).has_value());
      QVERIFY(!shown);
      const std::unique_ptr<Progress> progress = prompts.ShowProgress();
      QVERIFY(progress->CheckCancel());
    }
  }

  void decoderAgreesWithQtForEveryByte() {
    for (int byte = 0; byte < 256; ++byte) {
      const std::string one(1, static_cast<char>(byte));
      QStringDecoder windows1252("windows-1252");
      QVERIFY(windows1252.isValid());
      const QString expected = windows1252(QByteArray::fromStdString(one));
      QCOMPARE(QString::fromStdString(PeopleText(one)), expected);
    }
  }

 private:
  // Opens the chooser and acts in it as a person does: `look` first, then selects what the
  // field holds and types `name` over it, then Open or Save. `shown` gets the directory it
  // opened in.
  std::optional<std::string> Choose(const FileChooser& chooser, const QString& name,
                                    QString* shown = nullptr,
                                    std::function<void(QFileDialog&)> look = {}) {
    QTimer person;
    connect(&person, &QTimer::timeout, this, [&] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      if (dialog == nullptr) return;
      person.stop();
      if (shown != nullptr) *shown = dialog->directory().absolutePath();
      if (look) look(*dialog);
      auto* field = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
      if (field == nullptr) {
        dialog->reject();
        QFAIL("the chooser has no file name field");
      }
      QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
      QTest::keyClicks(field, name);
      // The button rather than Return, which the name completer may take first. A typed
      // path in another directory takes the chooser there at the first Open, as a person sees.
      auto* buttons = dialog->findChild<QDialogButtonBox*>();
      QVERIFY(buttons != nullptr);
      for (int click = 0; click < 2 && dialog->isVisible(); ++click) {
        for (QAbstractButton* button : buttons->buttons())
          if (buttons->buttonRole(button) == QDialogButtonBox::AcceptRole)
            QTest::mouseClick(button, Qt::LeftButton);
      }
      if (dialog->isVisible()) dialog->reject();  // a failed check above leaves it open
    });
    person.start(10);
    return CGuiPrompts().ChooseFile(chooser);
  }

  static QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

  // While it lives, no file of this process grows past `bytes`, as on a full disk.
  // Each window's omrix.log goes here, never beside the test program.
  CMainFrame& Isolated(CMainFrame& frame) {
    frame.logDirectory = logHome_->path() + QLatin1Char('/');
    return frame;
  }

  std::unique_ptr<QTemporaryDir> settingsHome_;
  std::unique_ptr<QTemporaryDir> logHome_;
  std::unique_ptr<FakeLibrary> library_;
  std::unique_ptr<AnsweringPrompts> prompts_;
};

QTEST_MAIN(MainFrameTest)
#include "main_frame_test.moc"
