// The window as the board's session host, with omrixctl run as its users run it: the built
// program as a child process, against the simulated board in a directory of the test's own.
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <string>

#include "commands/library.h"
#include "host.h"
#include "library_thread.h"
#include "main_frame.h"
#include "omrix_app.h"
#include "session/protocol.h"
#include "session/transport.h"
#include "session_host.h"
#include "system.h"

using namespace omrix::commands;
using namespace omrix::shell;

namespace {

// Generous: the children run under the sanitizers on a shared machine.
constexpr int kChildMs = 60000;
constexpr int kBoxPollMs = 10;
// Each answer goes out as a message of its own: far more than a socket's buffer holds.
constexpr int kFloodingReads = 5000;
// The directory of the board this run's library was loaded with.
constexpr const char* kBoardVariable = "OMRIX_HOST_TEST_BOARD";

// The window's person: asked nothing in these tests but the start-up's question, which they
// answer with Cancel, so the FPGA stays as the board was set up; or, given something to do
// meanwhile, they do it and answer OK, with `design` chosen.
class CountingPrompts final : public Prompts {
 public:
  Answer MessageBox(const std::string& text, Buttons buttons, Icon) override {
    boxes.push_back(text);
    if (whileAsked) {
      std::exchange(whileAsked, {})();
      return Answer::Ok;
    }
    return buttons == Buttons::OkCancel ? Answer::Cancel : Answer::Ok;
  }
  std::optional<std::string> ChooseFile(const FileChooser&) override {
    if (design.empty()) return std::nullopt;
    return design;
  }
  void Beep() override {}
  std::unique_ptr<Progress> ShowProgress() override { return nullptr; }
  std::vector<std::string> boxes;
  std::function<void()> whileAsked;
  std::string design;
};

struct ClientRun {
  int exitStatus = -1;
  QByteArray out;
  QByteArray err;
};

}  // namespace

class SessionHostTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    home_ = std::make_unique<QTemporaryDir>();
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, home_->path());
    QSettings().clear();
    // A new board for each function, in the directory the library was loaded with.
    const std::string library = qgetenv(kBoardVariable).toStdString();
    std::filesystem::remove_all(library);
    std::filesystem::create_directories(library);
    for (const char* name :
         {"setup.bit", "demo.bit", "basic52.dat", "LIOTESTA.BIT", "LIOTESTB.BIT", "emudlc5.bit"})
      std::filesystem::copy_file(std::string(OMRIX_DATA_DIR) + "/" + name, library + name);
    socket_ = home_->filePath(QStringLiteral("board.sock")).toStdString();
    qputenv("OMRIX_SESSION", QByteArray::fromStdString(socket_));
  }

  void separateCallsReadWhatTheScriptReads() {
    QVERIFY(SetUpBoard());
    const ClientRun script = Client({"-q", "script", "-"}, "cpu run 1\nin 1\n");
    QCOMPARE(script.exitStatus, 0);
    QVERIFY(!script.out.isEmpty());
    CMainFrame& frame = HostingWindow();
    QTRY_VERIFY_WITH_TIMEOUT(!frame.Busy(), kChildMs);
    QVERIFY2(Client({"-q", "cpu", "run", "1"}).exitStatus == 0,
             qPrintable(frame.outputWindow()->toPlainText()));
    const ClientRun in = Client({"-q", "in", "1"});
    QCOMPARE(in.exitStatus, 0);
    QCOMPARE(in.out, script.out);
    // The window's person sees it too, in the window and so in the log.
    QVERIFY2(frame.outputWindow()->toPlainText().contains(QString::fromUtf8(in.out.trimmed())),
             qPrintable(frame.outputWindow()->toPlainText()));
    EndWindow(frame);
  }

  void clientsQuestionsAreAskedOnTheClientsSide() {
    QVERIFY(SetUpBoard());
    CMainFrame& frame = HostingWindow();
    QTRY_VERIFY_WITH_TIMEOUT(!frame.Busy(), kChildMs);
    const std::size_t boxes = prompts_.boxes.size();
    for (const auto& [answer, status] : {std::pair{"y", 0}, std::pair{"n", 1}}) {
      const ClientRun test = Client({"-q", "io-test", "omrix"},
                                    QByteArray(answer) + "\n" + answer + "\n" + answer + "\n");
      QCOMPARE(test.exitStatus, status);
      QVERIFY2(test.err.contains("answer y or n"), test.err.constData());
    }
    QCOMPARE(prompts_.boxes.size(), boxes);
    EndWindow(frame);
  }

  void clientThatLeavesMidEmulationStopsItAndTheWindowServesOn() {
    QVERIFY(SetUpBoard());
    CMainFrame& frame = HostingWindow();
    QTRY_VERIFY_WITH_TIMEOUT(!frame.Busy(), kChildMs);
    QSignalSpy ended(&frame, &CMainFrame::ShutDownDone);
    QProcess leaving;
    leaving.start(QStringLiteral(OMRIXCTL_PATH),
                  {QStringLiteral("emulate"), QStringLiteral("dlc5")});
    QVERIFY(leaving.waitForStarted());
    QByteArray said;
    QTRY_VERIFY_WITH_TIMEOUT((said += leaving.readAllStandardError()).contains("press Enter"),
                             kChildMs);
    leaving.kill();
    QTRY_COMPARE_WITH_TIMEOUT(leaving.state(), QProcess::NotRunning, kChildMs);
    // Served only once the emulation has let go of the board.
    const ClientRun in = Client({"-q", "in", "1"});
    QCOMPARE(in.exitStatus, 0);
    QCOMPARE(ended.count(), 0);
    QVERIFY(frame.Hosting());
    EndWindow(frame);
  }

  void signalEndsTheWindowWhileAClientsQuestionWaits() {
    EndsWhileAClientsQuestionWaits([](CMainFrame& frame) { frame.EndOnSignal(SIGTERM); });
  }

  void exitEndsTheWindowWhileAClientsQuestionWaits() {
    EndsWhileAClientsQuestionWaits([](CMainFrame& frame) { frame.PostCommand(ID_APP_EXIT); });
  }

  void signalEndsTheWindowWhileAClientHasStoppedReading() {
    QVERIFY(SetUpBoard());
    CMainFrame& frame = HostingWindow();
    QTRY_VERIFY_WITH_TIMEOUT(!frame.Busy(), kChildMs);
    // As a client piped into a pager that nobody pages on, or stopped with Ctrl-Z.
    std::string script;
    for (int read = 0; read < kFloodingReads; ++read) script += "in 1\n";
    omrix::session::Channel stalled = Reached();
    QVERIFY(stalled.Send({{"type", omrix::session::kind::kRun},
                          {"version", omrix::session::kProtocolVersion},
                          {"args", {"script", "-"}},
                          {"cwd", home_->path().toStdString()},
                          {"script", script}}));
    QTRY_VERIFY_WITH_TIMEOUT(Readable(stalled.fd()), kChildMs);  // it runs
    QSignalSpy done(&frame, &CMainFrame::ShutDownDone);
    frame.EndOnSignal(SIGTERM);
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, kChildMs);
  }

  void stopArrivingAsAClientsCommandBeginsTurnsItAway() {
    QVERIFY(SetUpBoard());
    QObject gui;
    QThread thread;
    auto worker = std::make_unique<CLibraryWorker>(LinkedLibrary(), prompts_, &gui);
    worker->moveToThread(&thread);
    int finished = 0;
    connect(worker.get(), &CLibraryWorker::Finished, &gui, [&finished] { ++finished; });
    // The stop comes as the command is announced, before it has begun.
    CLibraryWorker* running = worker.get();
    connect(
        worker.get(), &CLibraryWorker::OutputArrived, worker.get(),
        [running](const QByteArray& text) {
          if (text.contains("omrixctl")) running->SkipQueued();
        },
        Qt::DirectConnection);
    thread.start();
    QMetaObject::invokeMethod(running, [running] { running->StartUp(QString()); });
    QTRY_COMPARE_WITH_TIMEOUT(finished, 1, kChildMs);
    int ends[2] = {-1, -1};
    QCOMPARE(socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, ends), 0);
    omrix::session::Channel client{omrix::session::UniqueFd(ends[1])};
    auto run = std::make_shared<omrix::cli::ClientRun>(
        omrix::cli::ClientRun{omrix::session::Channel(omrix::session::UniqueFd(ends[0])),
                              {{"type", omrix::session::kind::kRun},
                               {"args", {"-q", "in", "1"}},
                               {"cwd", home_->path().toStdString()}},
                              omrix::session::host::kWindow});
    QMetaObject::invokeMethod(running, [running, run] { running->RunClient(run); });
    for (const int id : {ID_APP_EXIT, ID_SHUTDOWN})
      QMetaObject::invokeMethod(running, [running, id] { running->Run(id); });
    QTRY_COMPARE_WITH_TIMEOUT(finished, 4, kChildMs);
    thread.quit();
    thread.wait();
    run.reset();  // the host's end closes: what the client was told is all there is
    omrix::session::Message first;
    std::string problem;
    QCOMPARE(client.Receive(first, problem), omrix::session::Channel::Got::Ready);
    QCOMPARE(omrix::session::TypeOf(first), std::string(omrix::session::kind::kRefused));
  }

  void clientArrivingDuringTheStartUpRunsAfterIt() {
    QVERIFY(SetUpBoard());
    const ClientRun script = Client({"-q", "script", "-"}, "cpu run 1\nin 1\n");
    QCOMPARE(script.exitStatus, 0);
    // While the start-up asks whether to configure the FPGA again, a client starts the CPU.
    std::optional<omrix::session::Channel> early;
    prompts_.design = qgetenv(kBoardVariable).toStdString() + "demo.bit";
    prompts_.whileAsked = [this, &early] { early = TakenRun({"-q", "cpu", "run", "1"}); };
    CMainFrame& frame = HostingWindow();
    QTRY_VERIFY_WITH_TIMEOUT(!frame.Busy(), kChildMs);
    QVERIFY(early.has_value());
    Told told;
    QTRY_VERIFY_WITH_TIMEOUT(Heard(*early, told), kChildMs);
    QCOMPARE(told.status, 0);
    const ClientRun in = Client({"-q", "in", "1"});
    QCOMPARE(in.exitStatus, 0);
    QCOMPARE(in.out, script.out);  // the configuration came first, not on top of the client
    EndWindow(frame);
  }

  void windowWithoutTheDriverFailsItsClientsAsAShortSessionWould() {
    Library noDriver = LinkedLibrary();
    noDriver.HwaccInit_EnableDllMessages = [](MessageFunction) { return 0; };
    noDriver.DeInitOmrix = [](std::int32_t) { return 0; };
    noDriver.HwaccDeInit = [] { return 0; };
    // A client comes while the person reads that the driver could not be installed.
    std::optional<omrix::session::Channel> early;
    prompts_.whileAsked = [this, &early] { early = TakenRun({"-q", "in", "1"}); };
    CMainFrame& frame = HostingWindow(std::move(noDriver));
    QSignalSpy ended(&frame, &CMainFrame::ShutDownDone);
    QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, kChildMs);
    QVERIFY(early.has_value());
    Told told;
    QTRY_VERIFY_WITH_TIMEOUT(Heard(*early, told), kChildMs);
    QCOMPARE(told.status, static_cast<int>(omrix::cli::kLibraryFailure));
    QVERIFY2(told.said.find(omrix::cli::PortAccessHint()) != std::string::npos, told.said.c_str());
  }

  void statusNamesTheWindowWhichOmrixctlCannotEnd() {
    CMainFrame& frame = HostingWindow();
    QTRY_VERIFY_WITH_TIMEOUT(!frame.Busy(), kChildMs);
    const ClientRun status = Client({"status"});
    QCOMPARE(status.exitStatus, 0);
    QVERIFY2(
        status.out.contains(QStringLiteral("pid %1 (the omrix window)").arg(getpid()).toUtf8()),
        status.out.constData());
    const ClientRun stop = Client({"serve", "--stop"});
    QCOMPARE(stop.exitStatus, 1);
    QVERIFY2(stop.err.contains("File > Exit"), stop.err.constData());
    QVERIFY(frame.Hosting());
    EndWindow(frame);
    QCOMPARE(Client({"status"}).exitStatus, 1);  // gone with the window
  }

  void secondWindowForAHeldBoardEndsNamingTheHolder() {
    // Another window: asked to come to the front.
    CMainFrame& first = HostingWindow();
    QTRY_VERIFY_WITH_TIMEOUT(!first.Busy(), kChildMs);
    QWidget elsewhere;
    elsewhere.show();
    elsewhere.activateWindow();
    QTRY_VERIFY(elsewhere.isActiveWindow());
    std::future<std::optional<std::string>> told =
        std::async(std::launch::async, [this] { return CSessionHost::HeldElsewhere(socket_); });
    QTRY_VERIFY_WITH_TIMEOUT(told.wait_for(std::chrono::seconds(0)) == std::future_status::ready,
                             kChildMs);
    const std::optional<std::string> text = told.get();
    QVERIFY(text.has_value());
    QVERIFY2(text->find("window (pid " + std::to_string(getpid()) + ")") != std::string::npos,
             text->c_str());
    QTRY_VERIFY(first.isActiveWindow());
    EndWindow(first);
    window_.reset();
    // omrixctl serve: the program ends without a window, having said which pid holds it.
    QProcess serve;
    serve.start(QStringLiteral(OMRIXCTL_PATH), {QStringLiteral("serve")});
    QVERIFY(serve.waitForStarted());
    QByteArray said;
    QTRY_VERIFY_WITH_TIMEOUT((said += serve.readAllStandardError()).contains("serving"), kChildMs);
    QTimer::singleShot(0, this, &SessionHostTest::CloseBox);
    const COmrixApp second(Library{});
    QVERIFY(!second.Opened());
    QVERIFY2(shown_.contains(QStringLiteral("serve (pid %1)").arg(serve.processId())),
             qPrintable(shown_));
    QCOMPARE(Client({"serve", "--stop"}).exitStatus, 0);
    QTRY_COMPARE_WITH_TIMEOUT(serve.state(), QProcess::NotRunning, kChildMs);
    QCOMPARE(serve.exitCode(), 0);
  }

 private:
  // A board found and configured, as omrixctl leaves it in a short session of its own.
  bool SetUpBoard() {
    return Client({"-q", "setup"}).exitStatus == 0 &&
           Client({"-q", "fpga", "demo.bit"}).exitStatus == 0;
  }

  // Started; the caller waits until the start-up is done.
  CMainFrame& HostingWindow(Library library = LinkedLibrary()) {
    window_ = std::make_unique<CMainFrame>(std::move(library), prompts_);
    window_->logDirectory = home_->path() + QLatin1Char('/');
    std::string problem;
    window_->Host(omrix::session::Listener::Open(socket_, problem), problem);
    window_->show();  // a window that is not shown cannot come to the front
    window_->StartUp();
    return *window_;
  }

  static void EndWindow(CMainFrame& frame) {
    QSignalSpy done(&frame, &CMainFrame::ShutDownDone);
    frame.PostCommand(ID_APP_EXIT);
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, kChildMs);
  }

  // omrixctl with `input`; the event loop runs meanwhile, so the window can serve it.
  ClientRun Client(const QStringList& arguments, const QByteArray& input = {}) {
    QProcess process;
    QSignalSpy finished(&process, &QProcess::finished);
    process.setWorkingDirectory(home_->path());
    process.start(QStringLiteral(OMRIXCTL_PATH), arguments);
    ClientRun run;
    if (!process.waitForStarted()) return run;
    process.write(input);
    process.closeWriteChannel();
    if (finished.count() == 0 && !finished.wait(kChildMs)) return run;
    if (process.exitStatus() == QProcess::NormalExit) run.exitStatus = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
  }

  template <typename Ending>
  void EndsWhileAClientsQuestionWaits(Ending end) {
    QVERIFY(SetUpBoard());
    CMainFrame& frame = HostingWindow();
    QTRY_VERIFY_WITH_TIMEOUT(!frame.Busy(), kChildMs);
    QProcess silent;  // asked, and never answering
    silent.start(QStringLiteral(OMRIXCTL_PATH),
                 {QStringLiteral("io-test"), QStringLiteral("omrix")});
    QVERIFY(silent.waitForStarted());
    QByteArray said;
    QTRY_VERIFY_WITH_TIMEOUT((said += silent.readAllStandardError()).contains("answer y or n"),
                             kChildMs);
    QSignalSpy done(&frame, &CMainFrame::ShutDownDone);
    end(frame);
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, kChildMs);
    QTRY_COMPARE_WITH_TIMEOUT(silent.state(), QProcess::NotRunning, kChildMs);
    QVERIFY(silent.exitCode() != 0);
  }

  // A client of the test's own, speaking the protocol directly.
  omrix::session::Channel Reached() const {
    bool noHost = false;
    std::string problem;
    return omrix::session::Channel(omrix::session::Connect(socket_, noHost, problem));
  }

  // A run request the window has taken: a status asked behind it has been answered. Called
  // while the window's person is asked something, so the request meets the start-up.
  std::optional<omrix::session::Channel> TakenRun(const std::vector<std::string>& arguments) {
    omrix::session::Channel client = Reached();
    client.Send({{"type", omrix::session::kind::kRun},
                 {"version", omrix::session::kProtocolVersion},
                 {"args", arguments},
                 {"cwd", home_->path().toStdString()}});
    omrix::session::Channel later = Reached();
    later.Send(
        {{"type", omrix::session::kind::kStatus}, {"version", omrix::session::kProtocolVersion}});
    if (!QTest::qWaitFor([&later] { return Next(later).has_value(); }, kChildMs))
      return std::nullopt;
    return client;
  }

  // What the host has told a client, gathered as it comes.
  struct Told {
    std::string said;
    int status = -1;
    bool ended = false;  // an exit status or a refusal has come: its last word
  };

  // Adds what has come since; whether the host has said its last.
  static bool Heard(omrix::session::Channel& client, Told& told) {
    while (!told.ended) {
      const std::optional<omrix::session::Message> message = Next(client);
      if (!message) break;
      told.said += message->value("text", "");
      const std::string type = omrix::session::TypeOf(*message);
      if (type == omrix::session::kind::kExit) told.status = message->value("status", -1);
      told.ended = type == omrix::session::kind::kExit || type == omrix::session::kind::kRefused;
    }
    return told.ended;
  }

  // The next message that has come, without waiting.
  static std::optional<omrix::session::Message> Next(omrix::session::Channel& channel) {
    omrix::session::Message message;
    std::string problem;
    if (channel.Receive(message, problem) != omrix::session::Channel::Got::Ready)
      return std::nullopt;
    return message;
  }

  static bool Readable(int fd) {
    pollfd waiting{fd, POLLIN, 0};
    return poll(&waiting, 1, 0) > 0;
  }

  // Closes the message box once it is shown, keeping its text.
  void CloseBox() {
    for (QWidget* window : QApplication::topLevelWidgets()) {
      if (auto* box = qobject_cast<QMessageBox*>(window); box != nullptr && box->isVisible()) {
        shown_ = box->text();
        box->accept();
        return;
      }
    }
    QTimer::singleShot(kBoxPollMs, this, &SessionHostTest::CloseBox);
  }

  std::unique_ptr<QTemporaryDir> home_;
  std::string socket_;
  CountingPrompts prompts_;
  std::unique_ptr<CMainFrame> window_;
  QString shown_;
};

// The library takes its directories when it is loaded, before main: the board's directory is
// named, and this program run again with it, so the window's library and omrixctl share it.
int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty(kBoardVariable)) {
    std::string root = std::filesystem::temp_directory_path() / "omrix-host-test-XXXXXX";
    if (mkdtemp(root.data()) == nullptr) return EXIT_FAILURE;
    const std::string library = root + "/lib/";
    setenv(kBoardVariable, library.c_str(), 1);
    setenv("OMRIX_LIBRARY_DIR", library.c_str(), 1);
    setenv("OMRIX_STATE_DIR", library.c_str(), 1);
    setenv("OMRIX_SIM", ("state=" + library + "omrix-sim/").c_str(), 1);
    unsetenv("OMRIX_PORT_IO");
    const pid_t child = fork();
    if (child == 0) {
      execv("/proc/self/exe", argv);
      _exit(EXIT_FAILURE);
    }
    int status = 0;
    const bool waited = child > 0 && waitpid(child, &status, 0) == child;
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
    return waited && WIFEXITED(status) ? WEXITSTATUS(status) : EXIT_FAILURE;
  }
  QApplication application(argc, argv);
  SessionHostTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "session_host_test.moc"
