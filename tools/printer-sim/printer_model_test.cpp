#include "tools/printer-sim/printer_model.h"

#include <gtest/gtest.h>

namespace klm::printer_sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(CommandParser, CutsTheStreamIntoCommandsAcrossReadsAndDropsNoise) {
  CommandParser parser;
  Bytes stream{0x00, 0x1B, 0x69, 0x53, 0x1B, 0x69, 0x61, 0x01, 0x1B, 0x69, 0x55, 0x61, 0x00};
  auto first = parser.Feed(stream);
  ASSERT_EQ(first.size(), 2u);
  EXPECT_EQ(first[0].kind, CommandKind::StatusRequest);
  EXPECT_EQ(first[1].kind, CommandKind::SwitchCommandMode);
  auto second = parser.Feed(Bytes{0x03, 0x1B, 0x69, 0x42, 0x80});
  ASSERT_EQ(second.size(), 1u);
  EXPECT_EQ(second[0].kind, CommandKind::SetSetting);
  EXPECT_EQ(second[0].bytes, (Bytes{0x1B, 0x69, 0x55, 0x61, 0x00, 0x03}));
  auto third = parser.Feed(Bytes{0x04, 0x1B, 0x58});
  ASSERT_EQ(third.size(), 1u);
  EXPECT_EQ(third[0].kind, CommandKind::SetBaudRate);
  EXPECT_EQ(parser.dropped(), 3u);  // the 00 in front, and ESC X
}

TEST(PrinterModel, AnswersAndKeepsSettingsOnlyInCommandMode) {
  PrinterModel printer;
  CommandParser p;
  auto run = [&](Bytes b) {
    Bytes reply;
    for (const auto& c : p.Feed(b)) {
      auto r = printer.Handle(c);
      reply.insert(reply.end(), r.begin(), r.end());
    }
    return reply;
  };
  Bytes status = run({0x1B, 0x69, 0x53});
  ASSERT_EQ(status.size(), 32u);
  EXPECT_EQ(Bytes(status.begin(), status.begin() + 5), (Bytes{0x80, 0x20, 0x42, '5', '1'}));
  EXPECT_TRUE(run({0x1B, 0x69, 0x55, 0x61, 0x00, 0x03}).empty());
  EXPECT_EQ(printer.settings().command_system, 0);  // not yet in command mode
  run({0x1B, 0x69, 0x61, 0x01, 0x1B, 0x69, 0x55, 0x61, 0x00, 0x03, 0x1B, 0x69, 0x55, 0x70, 0x00, 0x00});
  EXPECT_EQ(run({0x1B, 0x69, 0x55, 0x61, 0x01})[30], 3);
  EXPECT_EQ(run({0x1B, 0x69, 0x55, 0x70, 0x01})[30], 0);
  run({0x1B, 0x69, 0x55, 0x61, 0x00, 0x02});  // no such command system
  EXPECT_EQ(printer.settings().command_system, 3);
  // The rate change is answered, then takes effect.
  EXPECT_EQ(run({0x1B, 0x69, 0x42, 0x80, 0x04}).size(), 32u);
  EXPECT_EQ(printer.settings().baud_rate, 115200u);
  run({0x1B, 0x69, 0x42, 0x90, 0x00});  // 14400 is no rate of the printer
  EXPECT_EQ(printer.settings().baud_rate, 115200u);
}

TEST(PrinterModel, KeepsTheFormatsOfARegistrationCommandFile) {
  std::vector<FormatEntry> formats(2);
  formats[0].fill(0x11);
  formats[1].fill(0x22);
  Bytes file = BuildRegistration(formats);
  ASSERT_EQ(file.size(), 5u + 2 * 127);
  EXPECT_EQ(Bytes(file.begin(), file.begin() + 5), (Bytes{0x1B, 0x69, 0x55, 0x77, 0x02}));

  PrinterModel printer;
  CommandParser p;
  std::vector<Command> cmds = p.Feed(std::span(file).first(100));
  EXPECT_TRUE(cmds.empty());
  cmds = p.Feed(std::span(file).subspan(100));
  ASSERT_EQ(cmds.size(), 1u);
  EXPECT_EQ(cmds[0].kind, CommandKind::RegisterFormats);
  EXPECT_TRUE(printer.Handle(cmds[0]).empty());
  EXPECT_TRUE(printer.formats_changed());
  EXPECT_EQ(printer.formats(), formats);

  EXPECT_FALSE(ParseRegistration(std::span(file).first(file.size() - 1)));
  EXPECT_EQ(ParseRegistration(Bytes{0x1B, 0x69, 0x55, 0x77, 0x00})->size(), 0u);
}

}  // namespace
}  // namespace klm::printer_sim
