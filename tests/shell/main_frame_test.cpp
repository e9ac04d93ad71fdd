// The window as a person uses it, with a library table that answers as each test tells it.
#include <QAction>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QSignalSpy>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>
#include <deque>
#include <future>
#include <mutex>

#include "commands/menu.h"
#include "commands/people_text.h"
#include "main_frame.h"
#include "window_placement.h"

using namespace omrix::commands;

namespace {

class AnsweringPrompts final : public Prompts {
 public:
  Answer MessageBox(const std::string& text, Buttons, Icon) override {
    boxes.push_back(text);
    return Answer::Ok;
  }
  std::optional<std::string> ChooseFile(const FileChooser&) override { return std::nullopt; }
  std::vector<std::string> boxes;
};

// The library's side of a session, told what to answer; the calls it gets are kept.
struct FakeLibrary {
  std::int32_t interpretation = 1;
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
      return 1;
    };
    l.InterpreteOmrixDat = [this] { return interpretation; };
    l.IsDeviceInitialized = [this] { return device ? 1 : 0; };
    l.DeInitOmrix = [this](std::int32_t mode) {
      Note("DeInitOmrix(" + std::to_string(mode) + ")");
      return 1;  // failing: the shutdown goes on all the same
    };
    l.HwaccDeInit = [this] {
      Note("HwaccDeInit()");
      return 1;
    };
    return l;
  }
};

}  // namespace

class MainFrameTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    settingsHome_ = std::make_unique<QTemporaryDir>();
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsHome_->path());
    QSettings().clear();
    logHome_ = std::make_unique<QTemporaryDir>();
    library_ = std::make_unique<FakeLibrary>();
    prompts_ = std::make_unique<AnsweringPrompts>();
  }

  void jtagPathLeavesTheLinesToTheToolAndNeverExitsWithModeZero() {
    library_->interpretation = 16;
    CMainFrame frame(library_->Table(), *prompts_);
    Isolated(frame);
    QSignalSpy done(&frame, &CMainFrame::ShutDownDone);
    frame.StartUp();
    QTRY_COMPARE(done.count(), 1);
    QCOMPARE(library_->Calls(), (std::vector<std::string>{"DeInitOmrix(2)", "HwaccDeInit()"}));
    QCOMPARE(prompts_->boxes.size(), std::size_t{1});
  }

  void closeBoxIsFileExit() {
    CMainFrame frame(library_->Table(), *prompts_);
    Isolated(frame);
    frame.StartUp();
    QTRY_VERIFY(!frame.Busy());
    QSignalSpy done(&frame, &CMainFrame::ShutDownDone);
    frame.close();
    frame.close();  // a second close box click while the first exit runs
    QTRY_COMPARE(done.count(), 1);
    QCOMPARE(library_->Calls(), (std::vector<std::string>{"DeInitOmrix(0)", "HwaccDeInit()"}));
    QCOMPARE(prompts_->boxes, std::vector<std::string>{"device not found"});
    QSettings settings;
    settings.beginGroup(QStringLiteral("Settings"));
    for (const char* key : {"wp.showCmd", "wp.flags", "wp.ptMinPosition.x", "wp.ptMinPosition.y",
                            "wp.ptMaxPosition.x", "wp.ptMaxPosition.y", "wp.left", "wp.right",
                            "wp.top", "wp.bottom"})
      QVERIFY2(settings.contains(QLatin1String(key)), key);
    QCOMPARE(settings.value(QStringLiteral("wp.showCmd")).toInt(), 1);
    QVERIFY(QFile::exists(logHome_->filePath(QStringLiteral("omrix.log"))));
  }

  void placementOffTheScreenIsIgnored() {
    QWidget window;
    window.setGeometry(100, 120, 300, 200);
    SaveWindowPlacement(window);
    QWidget next;
    QVERIFY(RestoreWindowPlacement(next));
    QCOMPARE(next.geometry(), QRect(100, 120, 300, 200));
    QSettings settings;
    settings.setValue(QStringLiteral("Settings/wp.left"), 50000);
    settings.setValue(QStringLiteral("Settings/wp.right"), 50300);
    QVERIFY(!RestoreWindowPlacement(next));
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

  void logHoldsEveryLineWholeInUtf8() {
    CMainFrame frame(library_->Table(), *prompts_);
    const QString longLine(300, QLatin1Char('z'));
    frame.outputWindow()->AppendOutput(longLine + QStringLiteral("\n\u00B4omrix.dat\u00B4\n"));
    QTemporaryDir directory;
    const QString path = directory.filePath(QStringLiteral("omrix.log"));
    QVERIFY(frame.WriteLogFile(path));
    QFile log(path);
    QVERIFY(log.open(QIODevice::ReadOnly));
    QCOMPARE(log.readAll(), (QStringLiteral(" ") + longLine + QStringLiteral("\n\u00B4omrix.dat\u00B4\n\n")).toUtf8());
    QVERIFY(!frame.WriteLogFile(directory.filePath(QStringLiteral("no/such/omrix.log"))));
  }

  void menusFollowTheDeviceStateAndWaitForACommand() {
    CMainFrame frame(library_->Table(), *prompts_);
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
  // Each window's omrix.log goes here, never beside the test program.
  CMainFrame& Isolated(CMainFrame& frame) {
    frame.programDirectory = logHome_->path() + QLatin1Char('/');
    return frame;
  }

  std::unique_ptr<QTemporaryDir> settingsHome_;
  std::unique_ptr<QTemporaryDir> logHome_;
  std::unique_ptr<FakeLibrary> library_;
  std::unique_ptr<AnsweringPrompts> prompts_;
};

QTEST_MAIN(MainFrameTest)
#include "main_frame_test.moc"
