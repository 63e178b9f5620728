// A PostgreSQL server of a test's own: see test_server.h.
#include "test_server.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace fs = std::filesystem;

namespace platform::sqlstore::testing {
namespace {

const fs::path kBinaries = "/usr/lib/postgresql/15/bin";
constexpr const char* kRunAs = "nobody";
constexpr const char* kSuperuser = "calldeck";

// Runs argv (as the unprivileged user when this process is root), waits,
// and gives its exit status; output goes to `log` (written by this process,
// so never a file the server itself writes).
int Run(std::vector<std::string> argv, const fs::path& log) {
    if (geteuid() == 0) argv.insert(argv.begin(), {"runuser", "-u", kRunAs, "--"});
    std::vector<char*> args;
    for (std::string& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    const pid_t child = fork();
    if (child < 0) return -1;
    if (child == 0) {
        if (FILE* out = std::fopen(log.c_str(), "a")) {
            dup2(fileno(out), 1);
            dup2(fileno(out), 2);
        }
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    if (waitpid(child, &status, 0) < 0) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The process ids whose parent is `parent`.
std::vector<int> ChildrenOf(int parent) {
    std::vector<int> out;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        std::getline(stat, line);
        // pid (comm) state ppid ...: the command may hold blanks and parentheses.
        const std::size_t close = line.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream rest(line.substr(close + 1));
        std::string state;
        int ppid = 0;
        if (rest >> state >> ppid && ppid == parent) out.push_back(std::stoi(name));
    }
    return out;
}

std::string Contents(const fs::path& file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

TestServer::TestServer() {
    if (!fs::exists(kBinaries / "initdb"))
        throw std::runtime_error("the PostgreSQL 15 server is not installed (" + (kBinaries / "initdb").string() +
                                 " is missing; scripts/install-deps installs it)");
    std::string pattern = (fs::temp_directory_path() / "calldeck-pg-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("no temporary folder for the test server");
    folder_ = pattern;
    if (geteuid() == 0) {
        // The folder must belong to the user the server runs as.
        const passwd* user = getpwnam(kRunAs);
        if (!user || chown(folder_.c_str(), user->pw_uid, user->pw_gid) != 0)
            throw std::runtime_error("the test server's folder cannot be handed to the user " + std::string(kRunAs));
    }
    if (Run({(kBinaries / "initdb").string(), "-D", (folder_ / "data").string(), "-U", kSuperuser, "--auth=trust",
             "-N", "-E", "UTF8", "--locale=C"},
            folder_ / "initdb.log") != 0)
        throw std::runtime_error("initdb failed for the test server:\n" + Contents(folder_ / "initdb.log"));
    Start();
}

TestServer::~TestServer() {
    Stop();
    std::error_code ec;
    fs::remove_all(folder_, ec);
}

void TestServer::Start() {
    if (started_) return;
    const fs::path log = folder_ / "server.log";
    if (Run({(kBinaries / "pg_ctl").string(), "-D", (folder_ / "data").string(), "-l", log.string(), "-w", "-o",
             "-c listen_addresses='' -k " + folder_.string() + " -c fsync=off -c full_page_writes=off", "start"},
            folder_ / "pg_ctl.log") != 0)
        throw std::runtime_error("the test server did not start:\n" + Contents(log) + Contents(folder_ / "pg_ctl.log"));
    started_ = true;
}

void TestServer::Pause(Paused which) {
    if (!started_ || !paused_.empty()) return;
    std::ifstream pidFile(folder_ / "data" / "postmaster.pid");
    int postmaster = 0;
    if (!(pidFile >> postmaster) || postmaster <= 0)
        throw std::runtime_error("the test server's postmaster.pid cannot be read");
    // The postmaster first, so that it starts no process after its children
    // were listed.
    if (kill(postmaster, SIGSTOP) != 0) throw std::runtime_error("the test server's postmaster cannot be stopped");
    paused_.push_back(postmaster);
    if (which == Paused::EveryProcess)
        for (int child : ChildrenOf(postmaster))
            if (kill(child, SIGSTOP) == 0) paused_.push_back(child);
}

void TestServer::Resume() {
    for (auto pid = paused_.rbegin(); pid != paused_.rend(); ++pid) kill(*pid, SIGCONT);
    paused_.clear();
}

void TestServer::Stop() {
    if (!started_) return;
    Resume();  // a stopped postmaster would not hear pg_ctl
    Run({(kBinaries / "pg_ctl").string(), "-D", (folder_ / "data").string(), "-m", "immediate", "-w", "stop"},
        folder_ / "pg_ctl.log");
    started_ = false;
}

std::string TestServer::ConnectionInfo() const {
    return "host=" + folder_.string() + " user=" + kSuperuser + " dbname=postgres";
}

namespace {

std::unique_ptr<TestServer>& Instance() {
    static std::unique_ptr<TestServer> server;
    return server;
}

class StopServer : public ::testing::Environment {
public:
    void TearDown() override { Instance().reset(); }
};

// gtest owns its environments.
const auto* const kStopAtEnd = ::testing::AddGlobalTestEnvironment(std::make_unique<StopServer>().release());

}  // namespace

TestServer& SharedTestServer() {
    if (!Instance()) Instance() = std::make_unique<TestServer>();
    return *Instance();
}

}  // namespace platform::sqlstore::testing
