#include "PseudoTerminal.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/PortPaths.h"

namespace velmar::toolsim {

namespace fs = std::filesystem;

namespace {

std::string SystemError(const std::string& what) { return what + ": " + std::strerror(errno); }

}  // namespace

int PseudoTerminal::Open(std::string* error) {
  Close();
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0) {
    if (error) *error = SystemError("cannot create a pseudo-terminal");
    return -1;
  }
  char name[128];
  if (grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) != 0) {
    if (error) *error = SystemError("cannot prepare the pseudo-terminal");
    ::close(master);
    return -1;
  }
  const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave < 0) {
    if (error) *error = SystemError(std::string("cannot open ") + name);
    ::close(master);
    return -1;
  }
  termios tio{};
  if (tcgetattr(slave, &tio) == 0) {
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    cfsetispeed(&tio, B57600);
    cfsetospeed(&tio, B57600);
    tcsetattr(slave, TCSANOW, &tio);
  }
  const int flags = fcntl(master, F_GETFL);
  fcntl(master, F_SETFL, flags | O_NONBLOCK);
  master_ = master;
  held_slave_ = slave;
  slave_path_ = name;
  return 0;
}

void PseudoTerminal::Close() {
  if (held_slave_ >= 0) ::close(held_slave_);
  if (master_ >= 0) ::close(master_);
  held_slave_ = -1;
  master_ = -1;
  slave_path_.clear();
}

PortRegistration::PortRegistration(std::string directory, uint8_t number, std::string friendly_name)
    : directory_(std::move(directory)),
      link_path_(directory_ + "/" + PortName(number)),
      name_path_(link_path_ + ".name"),
      friendly_name_(std::move(friendly_name)) {}

int PortRegistration::CheckFree(std::string* error) const {
  std::error_code ec;
  const fs::file_status status = fs::symlink_status(link_path_, ec);
  if (ec || !fs::exists(status)) return 0;
  if (fs::is_symlink(status) && !fs::exists(link_path_, ec))
    return 0;  // dangling: its tool is gone
  if (error) *error = link_path_ + " is already registered by another device";
  return -1;
}

int PortRegistration::Register(const std::string& device_path, std::string* error) {
  // The program's own directory is made as the program makes it (private to the user), or the
  // program would ignore the port registered in it.
  std::string problem;
  if (directory_ == PortDirectory() && !UsablePortDirectory(&problem)) {
    if (error) *error = PortFolderIgnoredLine(problem);
    return -1;
  }
  std::error_code ec;
  fs::create_directories(directory_, ec);
  if (ec) {
    if (error) *error = "cannot create the port directory " + directory_ + ": " + ec.message();
    return -1;
  }
  {
    const std::string temporary = name_path_ + ".tmp";
    std::ofstream out(temporary, std::ios::trunc);
    out << friendly_name_ << '\n';
    out.close();
    if (!out || std::rename(temporary.c_str(), name_path_.c_str()) != 0) {
      if (error) *error = SystemError("cannot write " + name_path_);
      ::unlink(temporary.c_str());
      return -1;
    }
  }
  const std::string temporary_link = link_path_ + ".new";
  ::unlink(temporary_link.c_str());
  if (::symlink(device_path.c_str(), temporary_link.c_str()) != 0 ||
      std::rename(temporary_link.c_str(), link_path_.c_str()) != 0) {
    if (error) *error = SystemError("cannot create the link " + link_path_);
    ::unlink(temporary_link.c_str());
    ::unlink(name_path_.c_str());
    return -1;
  }
  return 0;
}

void PortRegistration::Unregister() {
  ::unlink(link_path_.c_str());
  ::unlink(name_path_.c_str());
}

}  // namespace velmar::toolsim
