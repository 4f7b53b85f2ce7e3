// The package download of a device update: a 20 MiB package from velmar-serversim read through
// HttpClient 255 bytes at a time, as the workers read it, against the curl program fetching the
// same action address with the same form body. Three rounds each, alternating; prints every
// time, the best of each and their ratio.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <vector>

#include "platform/CurlHttpTransport.h"
#include "server/HttpClient.h"
#include "server/ServerRequest.h"
#include "server/VersionInfo.h"
#include "support/UpdateTestSupport.h"

using namespace velmar;
using Steady = std::chrono::steady_clock;

namespace {

constexpr size_t kPackageBytes = 20u * 1024 * 1024;
constexpr uint32_t kRead = 255;
constexpr int kRounds = 3;
constexpr const char* kPackage = "BIG20";

// The program's path along $PATH (the test helper starts programs by path); empty when absent.
std::string FindProgram(const std::string& name) {
  const char* path = getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    const size_t end = std::min(dirs.find(':', start), dirs.size());
    const std::string candidate = dirs.substr(start, end - start) + "/" + name;
    if (end > start && access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return {};
}

double Seconds(Steady::duration d) { return std::chrono::duration<double>(d).count(); }

// One download through HttpClient: the action step (the redirect was made before) and every
// byte read. The bytes read, or 0 on failure.
size_t ReadThroughClient(ServerRequest& request, HttpClient& http) {
  if (request.ActionStep(server_action::kDownloadVersion, false, kForceOption) != 0) return 0;
  std::vector<uint8_t> chunk(kRead);
  size_t total = 0;
  while (true) {
    const int read = http.Read(chunk.data(), kRead);
    if (read <= 0) break;
    total += static_cast<size_t>(read);
  }
  http.Close();
  return total;
}

}  // namespace

int main() {
  if (!testing::HaveServer()) {
    std::fprintf(stderr, "the local update server was not built\n");
    return 1;
  }
  const std::string curl = FindProgram("curl");
  if (curl.empty()) {
    std::fprintf(stderr, "no curl program on PATH\n");
    return 1;
  }
  testing::ScratchDir catalogue;
  {
    // Incompressible bytes, served as they are.
    std::vector<char> bytes(kPackageBytes);
    std::mt19937 random(20);
    for (char& b : bytes) b = static_cast<char>(random());
    std::ofstream(catalogue.File("big.zip"), std::ios::binary).write(bytes.data(), bytes.size());
    const nlohmann::json catalog = {
        {"texte", "bench"}, {"packages", {{kPackage, "big.zip"}}}, {"tools", {{{"serial", "*"}}}}};
    std::ofstream(catalogue.File("catalog.json")) << catalog.dump();
  }
  testing::ServerProcess server;
  if (!server.Start(catalogue.Path())) {
    std::fprintf(stderr, "velmar-serversim did not start\n");
    return 1;
  }

  CurlHttpTransport transport(testing::DirectConnection());
  HttpClient http(transport);
  VersionInfo redirect;
  ServerRequest request(http, redirect, server.Address());
  request.SetIdentity("QL7-12-000123", kPackage);
  if (request.RedirectStep(server_action::kDownloadVersion, kForceOption) != 0) {
    std::fprintf(stderr, "the redirect failed\n");
    return 1;
  }
  const std::string address = redirect.Lien();
  request.BuildQuery(server_action::kDownloadVersion, kForceOption);
  const std::string body = request.Query();

  std::vector<double> ours, theirs;
  for (int round = 0; round < kRounds; ++round) {
    auto start = Steady::now();
    const size_t read = ReadThroughClient(request, http);
    ours.push_back(Seconds(Steady::now() - start));
    if (read != kPackageBytes) {
      std::fprintf(stderr, "HttpClient read %zu of %zu bytes\n", read, kPackageBytes);
      return 1;
    }

    start = Steady::now();
    const testing::ProgramResult run = testing::RunProgram(
        {curl, "--silent", "--show-error", "--noproxy", "*", "--user-agent", "Korndal", "--header",
         "Content-Type: application/x-www-form-urlencoded", "--data-binary", body, "--output",
         "/dev/null", "--write-out", "%{size_download}", address});
    theirs.push_back(Seconds(Steady::now() - start));
    const int exit = run.exit;
    const std::string& size = run.out;
    if (exit != 0 || size != std::to_string(kPackageBytes)) {
      std::fprintf(stderr, "curl failed (exit %d, %s bytes)\n", exit, size.c_str());
      return 1;
    }
  }

  std::printf("download: a %zu MiB package from velmar-serversim on loopback\n",
              kPackageBytes >> 20);
  for (int round = 0; round < kRounds; ++round)
    std::printf("  round %d: HttpClient (255-byte reads) %6.3f s, curl %6.3f s\n", round + 1,
                ours[round], theirs[round]);
  const double best_ours = *std::min_element(ours.begin(), ours.end());
  const double best_theirs = *std::min_element(theirs.begin(), theirs.end());
  std::printf("  best: HttpClient %.3f s (%.0f MiB/s), curl %.3f s (%.0f MiB/s)\n", best_ours,
              kPackageBytes / best_ours / (1 << 20), best_theirs,
              kPackageBytes / best_theirs / (1 << 20));
  std::printf("  ratio HttpClient/curl %.2f\n", best_ours / best_theirs);
  return 0;
}
