#include "ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

extern char** environ;

namespace velmar::testing {
namespace {

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point end) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

ChildProcess::~ChildProcess() {
  if (pid_ > 0 && Stop(SIGTERM, std::chrono::milliseconds(5000)) == -1) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (out_ >= 0) close(out_);
  if (err_ >= 0) close(err_);
}

bool ChildProcess::Start(const std::vector<std::string>& argv) {
  int outPipe[2], errPipe[2];
  if (pipe2(outPipe, O_CLOEXEC) != 0) return false;
  if (pipe2(errPipe, O_CLOEXEC) != 0) {
    close(outPipe[0]);
    close(outPipe[1]);
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const int rc = posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(outPipe[1]);
  close(errPipe[1]);
  out_ = outPipe[0];
  err_ = errPipe[0];
  if (rc != 0) {
    pid_ = -1;
    return false;
  }
  fcntl(err_, F_SETFL, fcntl(err_, F_GETFL) | O_NONBLOCK);
  return true;
}

bool ChildProcess::ReadLine(std::string& line, std::chrono::milliseconds deadline) {
  const auto end = Clock::now() + deadline;
  for (;;) {
    const size_t eol = outBuffer_.find('\n');
    if (eol != std::string::npos) {
      line = outBuffer_.substr(0, eol);
      outBuffer_.erase(0, eol + 1);
      return true;
    }
    pollfd p{out_, POLLIN, 0};
    if (poll(&p, 1, RemainingMs(end)) <= 0) return false;
    char chunk[512];
    const ssize_t n = read(out_, chunk, sizeof chunk);
    if (n <= 0) return false;
    outBuffer_.append(chunk, static_cast<size_t>(n));
  }
}

bool ChildProcess::ReadAll(std::string& out, std::chrono::milliseconds deadline) {
  const auto end = Clock::now() + deadline;
  for (;;) {
    pollfd p[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
    if (poll(p, 2, RemainingMs(end)) <= 0) return false;
    if (p[1].revents != 0) Drain(err_, errBuffer_);
    if (p[0].revents != 0) {
      char chunk[4096];
      const ssize_t n = read(out_, chunk, sizeof chunk);
      if (n <= 0) {
        out = std::move(outBuffer_);
        outBuffer_.clear();
        return true;
      }
      outBuffer_.append(chunk, static_cast<size_t>(n));
    }
  }
}

void ChildProcess::Drain(int& fd, std::string& into) {
  if (fd < 0) return;
  char chunk[512];
  for (;;) {
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n > 0) {
      into.append(chunk, static_cast<size_t>(n));
    } else {
      if (n == 0) {  // the writer is gone: stop watching this pipe
        close(fd);
        fd = -1;
      }
      return;
    }
  }
}

std::string ChildProcess::Stderr() {
  Drain(err_, errBuffer_);
  return errBuffer_;
}

int ChildProcess::WaitFor(std::chrono::milliseconds deadline) {
  const auto end = Clock::now() + deadline;
  for (;;) {
    int status = 0;
    const pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
      pid_ = -1;
      return status;
    }
    if (r < 0 || Clock::now() >= end) return -1;
    // Polling the child's state; the deadline only bounds a failure, it is not a timing bet.
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

int ChildProcess::Stop(int signal, std::chrono::milliseconds deadline) {
  if (pid_ <= 0) return -1;
  kill(pid_, signal);
  return WaitFor(deadline);
}

int ChildProcess::WaitExit(std::chrono::milliseconds deadline) {
  if (pid_ <= 0) return -1;
  const int status = WaitFor(deadline);
  if (status == -1 || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

ScratchDir::ScratchDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "velmar-update-XXXXXX").string();
  if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

}  // namespace velmar::testing
