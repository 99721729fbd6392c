// The application's view of the driver: what a program that prints sees
// through the driver library's exported entry points, loaded from the driver
// directory as the spooler loads it. Nothing here links the driver's code.
#pragma once

#include <string>
#include <vector>

#include "platform/result.h"
#include "tools/klm71/output.h"

namespace klm::cli {

// Every capability, or one (by number or by name such as "DC_PAPERS").
int ShowCapabilities(const Output& out, const std::string& printer, const std::string& which);

// Edits an application makes before handing its DEVMODE to the driver.
struct DevmodeEdits {
  // Public fields (0 or empty: leave as is).
  int paper_size = 0;
  int paper_length = 0;   // 0.1 mm
  int paper_width = 0;    // 0.1 mm
  int copies = 0;
  int orientation = 0;
  // Requests in the private part's application block.
  int request_paper = -1;         // paper id
  int request_length_dots = -1;   // at 300 dpi
  int request_feed_dots = -1;
  int request_feed_mm = -1;
  int request_split = -1;         // parts across, 1-4
  std::string request_cut;        // comma list: every, mirror, no-end-cut, tail-cut
};

// Merges through the no-prompt document-properties entry point; reads the
// input DEVMODE from `in_file` (empty: the printer's defaults) and writes
// the driver's answer to `out_file`.
int MergeDevmode(const Output& out, const std::string& printer, const std::string& in_file,
                 const std::string& out_file, const DevmodeEdits& edits);

// May a job with this DEVMODE print on the printer? Exit code 0 yes, 2 no.
int QueryPrint(const Output& out, const std::string& printer, const std::string& devmode_file);

}  // namespace klm::cli
