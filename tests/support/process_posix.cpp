#include "support/process.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

namespace kalu::test {

namespace {

std::vector<char*> Argv(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  return argv;
}

int ExitStatus(int raw) {
  if (WIFEXITED(raw)) return WEXITSTATUS(raw);
  if (WIFSIGNALED(raw)) return 128 + WTERMSIG(raw);
  return -1;
}

}  // namespace

ProcessResult RunProcess(const std::vector<std::string>& args) {
  ProcessResult result;
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return result;
  auto argv = Argv(args);
  pid_t pid = fork();
  if (pid == 0) {
    int null = open("/dev/null", O_RDONLY);
    dup2(null, 0);
    dup2(pipeFds[1], 1);
    dup2(pipeFds[1], 2);
    // Only the three standard descriptors go on: a daemon the child starts (a database
    // server) must not hold the pipe open after the child has ended.
    close(pipeFds[0]);
    close(pipeFds[1]);
    close(null);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(pipeFds[1]);
  char buf[4096];
  ssize_t n;
  while ((n = read(pipeFds[0], buf, sizeof buf)) > 0) result.output.append(buf, n);
  close(pipeFds[0]);
  int raw = 0;
  waitpid(pid, &raw, 0);
  result.status = ExitStatus(raw);
  return result;
}

BackgroundProcess::BackgroundProcess(const std::vector<std::string>& args) {
  auto argv = Argv(args);
  pid_ = fork();
  if (pid_ == 0) {
    int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 1);
    dup2(null, 2);
    execv(argv[0], argv.data());
    _exit(127);
  }
}

BackgroundProcess::~BackgroundProcess() {
  if (Running()) Kill();
}

bool BackgroundProcess::Running() {
  if (pid_ <= 0 || status_ >= 0) return false;
  int raw = 0;
  if (waitpid(pid_, &raw, WNOHANG) != pid_) return true;
  status_ = ExitStatus(raw);
  return false;
}

int BackgroundProcess::Kill(int signal) {
  if (Running()) {
    kill(pid_, signal);
    int raw = 0;
    waitpid(pid_, &raw, 0);
    status_ = ExitStatus(raw);
  }
  return status_;
}

PtyProcess::PtyProcess(const std::vector<std::string>& args) {
  auto argv = Argv(args);
  winsize size{30, 120, 0, 0};
  pid_ = forkpty(&fd_, nullptr, nullptr, &size);
  if (pid_ == 0) {
    execv(argv[0], argv.data());
    _exit(127);
  }
}

PtyProcess::~PtyProcess() {
  if (pid_ > 0 && status_ < 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (fd_ >= 0) close(fd_);
}

void PtyProcess::ReadAvailable(int waitMs) {
  pollfd p{fd_, POLLIN, 0};
  if (poll(&p, 1, waitMs) <= 0) return;
  char buf[4096];
  ssize_t n = read(fd_, buf, sizeof buf);
  if (n > 0) output_.append(buf, n);
}

bool PtyProcess::WaitFor(const std::string& text, std::chrono::milliseconds timeout) {
  auto end = std::chrono::steady_clock::now() + timeout;
  while (output_.find(text) == std::string::npos) {
    if (std::chrono::steady_clock::now() > end) return false;
    ReadAvailable(50);
  }
  return true;
}

void PtyProcess::Type(const std::string& keys) {
  ssize_t written = write(fd_, keys.data(), keys.size());
  (void)written;
}

int PtyProcess::Wait(std::chrono::milliseconds timeout) {
  auto end = std::chrono::steady_clock::now() + timeout;
  while (status_ < 0) {
    ReadAvailable(50);
    int raw = 0;
    if (waitpid(pid_, &raw, WNOHANG) == pid_) {
      status_ = ExitStatus(raw);
      for (int i = 0; i < 10; ++i) ReadAvailable(10);
      break;
    }
    if (std::chrono::steady_clock::now() > end) break;
  }
  return status_;
}

}  // namespace kalu::test
