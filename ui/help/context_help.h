// Context help of the package's windows: each window's table of control id
// -> context number, and the call that opens the book at the control's topic.
// The book's map (ui/help/KLM71v/map.tsv) carries a page for every number here.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <utility>

#include "ui/dialog_view.h"

namespace klm::ui::help {

using HelpPair = std::pair<int, std::uint32_t>;  // control id, context

// Contexts of whole windows and tabs (the main dialog's Help button opens the
// first three; the others are the windows' own start topics).
inline constexpr std::uint32_t kBasicTab = 1000;
inline constexpr std::uint32_t kAdvancedTab = 2000;
inline constexpr std::uint32_t kPrinterProperties = 3000;
inline constexpr std::uint32_t kOtherTab = 4000;
inline constexpr std::uint32_t kPaperFormatEditor = 6000;
inline constexpr std::uint32_t kUtility = 7000;

inline constexpr HelpPair kMainDialog[] = {{1002, 5001}, {1, 5002}, {2, 5003}, {3, 5004}};
inline constexpr HelpPair kBasicSheet[] = {
    {1023, 1001}, {1067, 1002}, {1062, 1003}, {1063, 1004}, {1027, 1005}, {1028, 1005},
    {1064, 1006}, {1065, 1007}, {1066, 1008}, {1024, 1009}, {1097, 1011}, {1015, 1010},
    {1071, 1101}, {2000, 1101}, {2002, 1107}, {2003, 1105}, {2004, 1106}};
inline constexpr HelpPair kAdvancedSheet[] = {{1009, 2001}, {1001, 2001}, {1011, 2001}, {1073, 2002},
                                              {1039, 2002}, {1072, 2003}, {1045, 2003}, {1055, 2004},
                                              {1074, 2005}, {1015, 2006}, {1098, 2007}};
inline constexpr HelpPair kOtherSheet[] = {{1052, 4001}, {1053, 4001}, {1099, 4003},
                                           {1091, 4004}, {1094, 4004}, {2100, 4002}};
inline constexpr HelpPair kInformationPane[] = {{1079, 5001}};
// The classic single page (its contexts are the classic topics' numbers).
inline constexpr HelpPair kClassicPage[] = {
    {418, 257}, {422, 258}, {423, 258}, {428, 261}, {426, 262}, {430, 261}, {432, 260}, {441, 260}, {435, 263},
    {451, 269}, {452, 269}, {456, 272}, {457, 271}, {436, 259}, {411, 264}, {410, 264}, {438, 265}, {448, 265},
    {439, 266}, {440, 267}, {470, 270}, {414, 268}, {415, 337}, {416, 338}, {476, 273}, {477, 274}};
inline constexpr HelpPair kUserFormatPage[] = {{435, 514}, {426, 262}, {428, 261}, {430, 261},
                                               {432, 260}, {441, 260}, {530, 518}, {531, 519},
                                               {517, 515}, {518, 516}, {416, 338}};

// The context of control `id` in `table`; 0 (the book's start page) for an
// id the table lacks.
std::uint32_t ContextFor(std::span<const HelpPair> table, int id);

// Asks the view's shell to show the topic of control `id`. What the shell
// answers is passed on; a missing book shows nothing.
Status ShowContextHelp(DialogView& view, const std::filesystem::path& book, std::span<const HelpPair> table, int id);

}  // namespace klm::ui::help
