// KLM71pc: the paper-data compiler. "KLM71pc /S /L=log input output"
// compiles a QMD source text into a compiled QMD file. The output is written
// only when the whole source compiled; otherwise no output file is left and
// the log names the file, the section, the key and the problem.
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "paper-data/qmd_compile.h"
#include "platform/files.h"

namespace {

struct Options {
  bool silent = false;
  std::string log;
  std::vector<std::string> paths;
};

bool StartsWithIgnoringCase(const std::string& s, std::string_view head) {
  if (s.size() < head.size()) return false;
  for (std::size_t i = 0; i < head.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(s[i])) != head[i]) return false;
  }
  return true;
}

std::filesystem::path Local(const std::string& path) {
  return klm::platform::ResolveCaseInsensitive(klm::platform::FromWindowsPath(path));
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  std::vector<std::string> lines;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "/S" || arg == "/s") {
      options.silent = true;
    } else if (StartsWithIgnoringCase(arg, "/l=")) {
      options.log = arg.substr(3);
    } else if (arg.size() > 1 && arg[0] == '/' && arg.find('/', 1) == std::string::npos &&
               arg.find('\\') == std::string::npos && arg.size() <= 3) {
      lines.push_back("unknown switch " + arg);
    } else {
      options.paths.push_back(arg);
    }
  }
  int exit_code = 1;
  if (options.paths.size() != 2) {
    lines.push_back("usage: KLM71pc [/S] [/L=log] input output");
  } else if (lines.empty()) {
    const std::string& input = options.paths[0];
    const std::string& output = options.paths[1];
    const std::filesystem::path output_path = Local(output);
    auto text = klm::paperdata::SourceText::Load(Local(input));
    if (!text) {
      lines.push_back(input + ": cannot be read: " + text.error().message);
    } else {
      auto outcome = klm::paperdata::CompileSource(*text, input);
      for (auto& note : outcome.notes) lines.push_back("note: " + note);
      for (auto& problem : outcome.problems) lines.push_back("error: " + problem);
      if (outcome.qmd) {
        auto bytes = klm::paperdata::SerializeQmd(*outcome.qmd);
        auto written = klm::platform::WriteFileAtomic(output_path, bytes);
        if (written) {
          lines.push_back(input + ": " + std::to_string(outcome.qmd->papers.size()) +
                          " papers compiled into " + output);
          exit_code = 0;
        } else {
          lines.push_back(output + ": cannot be written: " + written.error().message);
        }
      }
    }
    if (exit_code != 0) {
      // An output left from an earlier run would pass for this run's result.
      std::error_code ignored;
      std::filesystem::remove(output_path, ignored);
    }
  }
  std::string report;
  for (const std::string& line : lines) report += line + "\r\n";
  if (!options.log.empty()) {
    const auto* data = reinterpret_cast<const std::uint8_t*>(report.data());
    // A log that cannot be written changes nothing about the compiled file.
    (void)klm::platform::WriteFileAtomic(Local(options.log), std::span(data, report.size()));
  }
  if (!options.silent) std::fputs(report.c_str(), exit_code == 0 ? stdout : stderr);
  return exit_code;
}
