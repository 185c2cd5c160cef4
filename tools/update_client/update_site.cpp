// update_site: the reference update site. Serves the latest versions and
// download links of a manifest file to Ordwin.
//
//   update_site --manifest FILE [--port N] [--bind ADDRESS]
//   update_site --help | --version
//
// Binds 127.0.0.1 unless told otherwise; --port 0 (the default) takes any free
// port. The first line printed is "listening on ADDRESS:PORT".
#include <httplib.h>

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "tools/update_client/site_server.h"
#include "velmora_version.h"

namespace {

constexpr const char* kUsage =
    "usage: update_site --manifest FILE [--port N] [--bind ADDRESS]\n"
    "       update_site --help | --version\n";

int Usage(const std::string& message) {
  std::cerr << "update_site: " << message << "\n" << kUsage;
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string manifest_path;
  std::string address = "127.0.0.1";
  long port = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return std::cout.flush() ? 0 : 1;
    }
    if (arg == "--version") {
      std::cout << "update_site " << kUpdateSiteVersion << "\n";
      return std::cout.flush() ? 0 : 1;
    }
    if (i + 1 >= argc) return Usage("missing value after " + arg);
    const std::string value = argv[++i];
    if (arg == "--manifest") {
      manifest_path = value;
    } else if (arg == "--bind") {
      address = value;
    } else if (arg == "--port") {
      char* end = nullptr;
      port = std::strtol(value.c_str(), &end, 10);
      if (value.empty() || *end != '\0' || port < 0 || port > 65535) {
        return Usage("not a port: " + value);
      }
    } else {
      return Usage("unknown option " + arg);
    }
  }
  if (manifest_path.empty()) return Usage("--manifest is required");

  // A manifest the site cannot serve so that Ordwin reads it back as listed
  // is refused before anything listens.
  Manifest manifest;
  std::string error;
  if (!LoadManifest(manifest_path, manifest, error)) {
    std::cerr << "update_site: " << error << "\n";
    return 2;
  }
  for (const std::string& warning : ManifestWarnings(manifest)) {
    std::cerr << "update_site: warning: " << manifest_path << ": " << warning << "\n";
  }

  httplib::Server server;
  InstallUpdateSiteRoutes(server, manifest);
  int bound =
      port == 0
          ? server.bind_to_any_port(address)
          : (server.bind_to_port(address, static_cast<int>(port)) ? static_cast<int>(port) : -1);
  if (bound < 0) {
    std::cerr << "update_site: cannot listen on " << address << ":" << port << "\n";
    return 1;
  }
  std::cout << "listening on " << address << ":" << bound << std::endl;
  std::cerr << "update_site: " << manifest.products.size() << " products from " << manifest_path
            << "; ask http://" << address << ":" << bound << "/index3.php?ACTION=163\n";
  return server.listen_after_bind() ? 0 : 1;
}
