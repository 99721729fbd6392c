#include "utility/serial_link.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <deque>
#include <vector>

#include "utility/testing/skipping_clock.h"

namespace klm::utility {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A byte source that hands out prepared chunks, one per read, and records how
// much each read asked for. When the chunks are used up it answers nothing.
struct ChunkSource {
  std::deque<Bytes> chunks;
  std::vector<std::size_t> asked;
  bool overdeliver = false;  // claims more bytes than asked for

  ChunkReader Reader() {
    return [this](std::span<std::uint8_t> buf, std::uint32_t) -> Result<std::size_t> {
      asked.push_back(buf.size());
      if (chunks.empty()) return std::size_t{0};
      Bytes c = std::move(chunks.front());
      chunks.pop_front();
      std::size_t n = std::min(c.size(), buf.size());
      std::copy_n(c.begin(), n, buf.begin());
      return overdeliver ? c.size() + 1000 : n;
    };
  }
};

Bytes Reply32(std::uint8_t tag) {
  Bytes r(32, 0);
  r[0] = 0x80, r[1] = 0x20, r[2] = 0x42, r[3] = '5', r[4] = '1', r[31] = tag;
  return r;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

TEST(SynchronisedRead, RealignsAndJoinsChunks) {
  const Bytes reply = Reply32(0x77);
  struct Case {
    const char* name;
    std::deque<Bytes> chunks;
  } cases[] = {
      {"whole", {reply}},
      {"two stray bytes before the header", {Cat({{0x00, 0xFF}, reply})}},
      {"split across reads", {Bytes(reply.begin(), reply.begin() + 10), Bytes(reply.begin() + 10, reply.end())}},
      {"header split across reads", {{0x13, 0x80}, Cat({{0x20, 0x42}, Bytes(reply.begin() + 3, reply.end())})}},
      {"byte by byte after noise", {}},
      {"noise longer than the work buffer", {Bytes(300, 0x55), reply}},
      {"a header look-alike before the real one", {Cat({{0x80, 0x20, 0x41, 0x80}, reply})}},
      {"more bytes behind the reply", {Cat({reply, reply})}},
  };
  for (std::uint8_t b : Cat({{0x01, 0x02, 0x03}, reply})) cases[4].chunks.push_back({b});
  for (auto& c : cases) {
    ChunkSource src{c.chunks};
    testing::SkippingClock clock;
    Bytes out(32, 0xEE);
    ASSERT_TRUE(SynchronisedRead(src.Reader(), out, 2000, clock)) << c.name;
    EXPECT_EQ(out, reply) << c.name;
    for (std::size_t asked : src.asked) EXPECT_LE(asked, 256u) << c.name;
  }
}

TEST(SynchronisedRead, FailsOnTimeOutWithoutAHeaderOrAWholeReply) {
  const Bytes reply = Reply32(1);
  std::deque<Bytes> cases[] = {{}, {Bytes(100, 0x42)}, {Bytes(reply.begin(), reply.begin() + 31)}};
  for (auto& chunks : cases) {
    ChunkSource src{chunks};
    testing::SkippingClock clock;
    Bytes out(32, 0);
    Status s = SynchronisedRead(src.Reader(), out, 150, clock);
    ASSERT_FALSE(s);
    EXPECT_EQ(s.error().code, ERROR_TIMEOUT);
  }
}

TEST(SynchronisedRead, AsksForAtMostTheFreeSpaceAndTrustsNoLargerCount) {
  // A reader that claims more than it was asked for must not push the held
  // count past the work buffer.
  ChunkSource src{{Bytes(250, 0x11), Reply32(9)}};
  src.overdeliver = true;
  testing::SkippingClock clock;
  Bytes out(32, 0);
  ASSERT_TRUE(SynchronisedRead(src.Reader(), out, 2000, clock));
  EXPECT_EQ(out, Reply32(9));
  ASSERT_GE(src.asked.size(), 2u);
  EXPECT_EQ(src.asked[0], 256u);
  EXPECT_EQ(src.asked[1], 254u);  // two bytes kept from the noise, the rest is free
}

TEST(ModeText, ParsesRateParityDataStopHandshake) {
  auto s = ApplyModeText("115200,n,8,1,p", LineSettings{});
  ASSERT_TRUE(s);
  EXPECT_EQ(s->baud_rate, 115200u);
  EXPECT_EQ(s->parity, 'n');
  EXPECT_EQ(s->data_bits, 8);
  EXPECT_EQ(s->stop_bits, 1);
  EXPECT_TRUE(s->rts_cts);
  EXPECT_TRUE(s->dtr_handshake);

  auto x = ApplyModeText("2400,E,7,2,x", LineSettings{});
  ASSERT_TRUE(x);
  EXPECT_EQ(x->parity, 'e');
  EXPECT_EQ(x->data_bits, 7);
  EXPECT_EQ(x->stop_bits, 2);
  EXPECT_TRUE(x->xon_xoff);
  EXPECT_FALSE(x->rts_cts);

  // Without a handshake piece the base's handshake stays.
  LineSettings base;
  base.rts_cts = true;
  auto keep = ApplyModeText("9600,n,8,1", base);
  ASSERT_TRUE(keep);
  EXPECT_TRUE(keep->rts_cts);
}

TEST(ModeText, RefusesWhatItCannotRead) {
  for (const char* bad : {"", "0,n,8,1,p", "abc,n,8,1,p", "9600", "9600,n,8", "9600,q,8,1,p", "9600,n,9,1,p",
                          "9600,n,8,3,p", "9600,n,8,1,z", "9600,n,8,1,p,extra", "-9600,n,8,1,p", "9600x,n,8,1,p",
                          "99999999999,n,8,1,p"}) {
    auto s = ApplyModeText(bad, LineSettings{});
    ASSERT_FALSE(s) << bad;
    EXPECT_EQ(s.error().code, ERROR_INVALID_PARAMETER) << bad;
  }
}

// A pseudo-terminal pair whose slave the termios channel opens.
class PtyPair {
 public:
  PtyPair() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    grantpt(master_);
    unlockpt(master_);
    char name[128];
    ptsname_r(master_, name, sizeof name);
    slave_ = name;
  }
  ~PtyPair() { if (master_ >= 0) close(master_); }
  void HangUp() { close(master_); master_ = -1; }
  int master() const { return master_; }
  const std::string& slave() const { return slave_; }
 private:
  int master_ = -1;
  std::string slave_;
};

TEST(TermiosChannel, OpensWithoutSharingAndSetsTheLine) {
  PtyPair pty;
  auto port = OpenTermiosChannel(pty.slave());
  ASSERT_TRUE(port) << port.error().message;
  auto second = OpenTermiosChannel(pty.slave());
  ASSERT_FALSE(second);
  EXPECT_EQ(second.error().code, ERROR_ACCESS_DENIED);

  ASSERT_TRUE(ConfigureLine(**port, "19200"));
  auto s = (*port)->GetSettings();
  ASSERT_TRUE(s);
  EXPECT_EQ(s->baud_rate, 19200u);
  EXPECT_TRUE(s->rts_cts);
  EXPECT_EQ(s->stop_bits, 1);

  int step = -1;
  EXPECT_FALSE(ConfigureLine(**port, "14400", &step));  // a rate the line cannot carry
  EXPECT_EQ(step, 2);
  EXPECT_FALSE(ConfigureLine(**port, "fast", &step));
  EXPECT_EQ(step, 1);

  auto missing = OpenTermiosChannel("/nonexistent/tty");
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error().code, ERROR_FILE_NOT_FOUND);
}

TEST(TermiosChannel, TimedIoMovesBytesUntouchedAndStopsAtTheLimit) {
  PtyPair pty;
  auto port = OpenTermiosChannel(pty.slave());
  ASSERT_TRUE(port);
  ASSERT_TRUE(ConfigureLine(**port, "9600"));
  ASSERT_TRUE(SetRequestTimeouts(**port));
  testing::SkippingClock clock;

  // Bytes a cooked terminal would change (CR, ^C, ^D, DEL) pass as they are.
  const Bytes out{0x1B, 0x0D, 0x0A, 0x03, 0x04, 0x7F, 0x80};
  ASSERT_TRUE(TimedWrite(**port, out, 1500, clock));
  Bytes seen(out.size());
  ASSERT_EQ(read(pty.master(), seen.data(), seen.size()), static_cast<ssize_t>(out.size()));
  EXPECT_EQ(seen, out);

  ASSERT_EQ(write(pty.master(), out.data(), out.size()), static_cast<ssize_t>(out.size()));
  Bytes in(out.size());
  ASSERT_TRUE(TimedRead(**port, in, 500, clock));
  EXPECT_EQ(in, out);

  // Fewer bytes than asked for fail once the limit passes.
  ASSERT_EQ(write(pty.master(), out.data(), 3), 3);
  Bytes more(8);
  Status short_read = TimedRead(**port, more, 300, clock);
  ASSERT_FALSE(short_read);
  EXPECT_EQ(short_read.error().code, ERROR_TIMEOUT);
}

TEST(TermiosChannel, AHungUpLineFailsReadsWithinTheLimit) {
  PtyPair pty;
  auto port = OpenTermiosChannel(pty.slave());
  ASSERT_TRUE(port);
  ASSERT_TRUE(ConfigureLine(**port, "9600"));
  ASSERT_TRUE(SetRequestTimeouts(**port));
  pty.HangUp();
  testing::SkippingClock clock;
  Bytes in(32);
  EXPECT_FALSE(TimedRead(**port, in, 300, clock));
  EXPECT_FALSE((*port)->Read(in));
  EXPECT_FALSE(SerialSynchronisedRead(**port, in, 300, clock));
}

}  // namespace
}  // namespace klm::utility
