// The parts of conv2model fetch in process: the indexes of both providers,
// the providers' names, their URLs, the requests, the cycles, the rate
// limit, the cache's names, the check of a message and its assembly.
#include <gtest/gtest.h>

#include <chrono>

#include "assembly.hpp"
#include "cache.hpp"
#include "cycles.hpp"
#include "index.hpp"
#include "message_check.hpp"
#include "providers.hpp"
#include "rate_limit.hpp"
#include "selection.hpp"
#include "support/scratch.hpp"
#include "textio/errors.hpp"

namespace {

using namespace c2m::fetch;
using c2m::IoFailure;

const Provider& gfs() { return *provider_by_name("gfs"); }
const Provider& ifs() { return *provider_by_name("ifs"); }

TEST(Index, NcepLinesGiveEachMessageItsBytesUpToTheNext) {
  const Index i = parse_index(IndexFormat::ncep,
                              "1:0:d=2024011500:HGT:1000 mb:anl:\n"
                              "2:100:d=2024011500:UGRD:1000 mb:anl:\n"
                              "2.2:100:d=2024011500:VGRD:1000 mb:anl:\n"
                              "3:350:d=2024011500:PRMSL:mean sea level:anl:ens mean\n",
                              "u");
  ASSERT_EQ(i.entries.size(), 4u);
  EXPECT_EQ(i.messages, 3);
  EXPECT_EQ(i.entries[0].length, 100);
  EXPECT_EQ(i.entries[1].length, 250);
  EXPECT_EQ(i.entries[2].subfield, 2);
  EXPECT_EQ(i.entries[2].length, 250);
  EXPECT_FALSE(i.entries[3].length.has_value()) << "the last message runs to the end of the file";
  EXPECT_EQ(i.entries[3].words, "PRMSL:mean sea level");
}

TEST(Index, MarsLinesAreNumberedInTheOrderOfTheFile) {
  const Index i = parse_index(IndexFormat::mars,
                              "{\"param\": \"t\", \"levtype\": \"pl\", \"levelist\": \"500\", \"_offset\": 90, \"_length\": 10}\n"
                              "{\"levtype\": \"sfc\", \"param\": \"m\\/sl\", \"_offset\": 0, \"_length\": 90, \"x\": -1.5e3}\n",
                              "u");
  ASSERT_EQ(i.entries.size(), 2u);
  EXPECT_EQ(i.entries[0].name, "m/sl");
  EXPECT_EQ(i.entries[0].message, 1);
  EXPECT_EQ(i.entries[1].level, "pl 500");
  EXPECT_EQ(i.entries[1].words, "t pl 500");
}

TEST(Index, LinesThatAreNotIndexLinesAreRefusedNamingTheLine) {
  struct Row {
    IndexFormat format;
    const char* text;
    const char* said;
  };
  const Row rows[] = {
      {IndexFormat::ncep, "1:0:d=2024011500:HGT\n", "line 1: wants N:OFFSET"},
      {IndexFormat::ncep, "x:0:d=1:HGT:1 mb:anl:\n", "message number"},
      {IndexFormat::ncep, "1:-5:d=1:HGT:1 mb:anl:\n", "the offset"},
      {IndexFormat::ncep, "1:0:d=1:A:1 mb:anl:\n2:0:d=1:B:1 mb:anl:\n", "line 2: its message and offset do not follow"},
      {IndexFormat::ncep, "1:0:d=1:A:1 mb:anl:\n1.2:5:d=1:B:1 mb:anl:\n", "gives another offset"},
      {IndexFormat::ncep, "\n\n", "an index without a line"},
      {IndexFormat::mars, "{\"_offset\": 0}\n", "_length"},
      {IndexFormat::mars, "{\"_offset\": 0, \"_length\": 5\n", "not a JSON object"},
      {IndexFormat::mars, "{\"_offset\": 0, \"_length\": 5, \"a\": {}}\n", "not a JSON object"},
      {IndexFormat::mars, "{\"_offset\": 0, \"_length\": 50}\n{\"_offset\": 10, \"_length\": 5}\n", "run into"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.text);
    try {
      parse_index(r.format, r.text, "URL");
      ADD_FAILURE() << "taken";
    } catch (const IoFailure& e) {
      EXPECT_NE(std::string(e.what()).find(r.said), std::string::npos) << e.what();
      EXPECT_TRUE(std::string(e.what()).starts_with("URL")) << e.what();
    }
  }
}

TEST(Providers, NamesAreWhatEcCodesCallsSuchAMessage) {
  struct Row {
    const Provider& p;
    const char *name, *level;
    long param;
    const char* level_type;
    float hpa;
    double top, bottom;
  };
  const Row rows[] = {
      {gfs(), "TMP", "500 mb", 130, "isobaricInhPa", 500, -1, -1},
      {gfs(), "HGT", "0.4 mb", 156, "isobaricInPa", 0.4f, -1, -1},
      {gfs(), "HGT", "surface", 228002, "surface", -1, -1, -1},
      {gfs(), "PRMSL", "mean sea level", 260074, "meanSea", -1, -1, -1},
      {gfs(), "TSOIL", "0.1-0.4 m below ground", 228139, "depthBelowLandLayer", -1, 0.1, 0.4},
      {gfs(), "TMP", "2 m above ground", 0, "", -1, -1, -1},
      {gfs(), "TMP", "nan mb", 0, "", -1, -1, -1},
      {gfs(), "ABSV", "500 mb", 0, "", -1, -1, -1},
      {ifs(), "msl", "sfc", 151, "meanSea", -1, -1, -1},
      {ifs(), "t", "pl 850", 130, "isobaricInhPa", 850, -1, -1},
      {ifs(), "z", "sfc", 129, "surface", -1, -1, -1},
      {ifs(), "sot", "sol 1", 0, "", -1, -1, -1},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string(r.name) + " " + r.level);
    const auto d = describe(r.p, r.name, r.level);
    if (r.param == 0) {
      EXPECT_FALSE(d.has_value());
      continue;
    }
    ASSERT_TRUE(d.has_value());
    EXPECT_EQ(d->param_id, r.param);
    EXPECT_EQ(d->level_type, r.level_type);
    if (r.hpa > 0) {
      EXPECT_EQ(d->pressure_hpa, r.hpa);
    }
    if (r.top >= 0) {
      EXPECT_EQ(d->depth_top_m, r.top);
      EXPECT_EQ(d->depth_bottom_m, r.bottom);
    }
  }
}

TEST(Providers, FilesOfACycleBelowARoot) {
  const auto g = cycle_files(gfs(), gfs().resolutions[2], "http://h/r/", *parse_cycle("2024011506"), 6);
  EXPECT_EQ(g.data_url, "http://h/r/gfs.20240115/06/atmos/gfs.t06z.pgrb2.1p00.f006");
  EXPECT_EQ(g.index_url, g.data_url + ".idx");
  const auto e = cycle_files(ifs(), ifs().resolutions[0], "file:///m", *parse_cycle("2024011518"), 12);
  EXPECT_EQ(e.data_url, "file:///m/20240115/18z/ifs/0p25/scda/2024011518" "0000-12h-scda-fc.grib2");
  EXPECT_EQ(e.index_url, "file:///m/20240115/18z/ifs/0p25/scda/2024011518" "0000-12h-scda-fc.index");
  EXPECT_NE(cycle_files(ifs(), ifs().resolutions[0], "r", *parse_cycle("2024011512"), 0).data_url.find("/oper/"),
            std::string::npos);
}

TEST(Requests, NearMessagesGoInOneRangeAndCachedOnesInNone) {
  auto w = [](std::int64_t at, std::optional<std::int64_t> n) { return WantedMessage{0, at, n, ""}; };
  const std::vector<WantedMessage> m = {w(0, 100), w(150, 100), w(1000, 100), w(1100, 50), w(1150, 10), w(2000, std::nullopt)};
  struct Row {
    const char* name;
    std::vector<bool> done;
    std::int64_t gap, largest;
    std::vector<std::pair<std::int64_t, std::int64_t>> spans;  // first, last (-1: to the end)
  };
  const Row rows[] = {
      {"each alone", {0, 0, 0, 0, 0, 0}, 0, 1 << 20, {{0, 99}, {150, 249}, {1000, 1159}, {2000, -1}}},
      {"a gap of 50 bridged", {0, 0, 0, 0, 0, 0}, 50, 1 << 20, {{0, 249}, {1000, 1159}, {2000, -1}}},
      {"everything", {0, 0, 0, 0, 0, 0}, 1000, 1 << 20, {{0, -1}}},
      {"no request longer than 200 (the last of unknown length taken)", {0, 0, 0, 0, 0, 0}, 1000, 200,
       {{0, 99}, {150, 249}, {1000, -1}}},
      {"a cached message splits", {0, 0, 0, 1, 0, 1}, 1000, 1 << 20, {{0, 1099}, {1150, 1159}}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    const auto spans = plan_requests(m, r.done, r.gap, r.largest);
    ASSERT_EQ(spans.size(), r.spans.size());
    for (std::size_t k = 0; k < spans.size(); ++k) {
      EXPECT_EQ(spans[k].first, r.spans[k].first);
      EXPECT_EQ(spans[k].last.value_or(-1), r.spans[k].second);
    }
  }
}

TEST(Cycles, DatesAndLists) {
  EXPECT_EQ(add_hours(*parse_cycle("2024022818"), 30).text(), "2024030100");
  EXPECT_EQ(add_hours(*parse_cycle("2023123118"), 6).text(), "2024010100");
  EXPECT_EQ(add_hours(*parse_cycle("2024010100"), 384).text(), "2024011700");
  for (const char* bad : {"2024023000", "2024011503", "202401150", "2024011524", "x024011500"})
    EXPECT_FALSE(parse_cycle(bad).has_value()) << bad;
  std::string why;
  const auto list = parse_cycles("2024013118/2024020106/6h", 100, why);
  ASSERT_TRUE(list.has_value()) << why;
  ASSERT_EQ(list->size(), 3u);
  EXPECT_EQ((*list)[1].text(), "2024020100");
  for (const char* bad : {"2024010100/2024010200", "2024010100/2024010200/5h", "2024010200/2024010100/6h",
                          "2024010100/2024020100/6"})
    EXPECT_FALSE(parse_cycles(bad, 100, why).has_value()) << bad;
  EXPECT_NE(why, "");
}

TEST(RateLimit, AtMostSoManyRequestsAMinuteToOneHost) {
  RateLimit limit(2);
  const auto t0 = RateLimit::Clock::time_point{} + std::chrono::hours(1);
  EXPECT_EQ(limit.next("a", t0), t0);
  limit.started("a", t0);
  limit.started("a", t0 + std::chrono::seconds(10));
  EXPECT_EQ(limit.next("a", t0 + std::chrono::seconds(20)), t0 + std::chrono::seconds(60));
  EXPECT_EQ(limit.next("b", t0 + std::chrono::seconds(20)), t0 + std::chrono::seconds(20));
  EXPECT_EQ(limit.next("a", t0 + std::chrono::seconds(61)), t0 + std::chrono::seconds(61));
  EXPECT_EQ(host_of("https://user@nomads.ncep.noaa.gov:443/pub?x"), "nomads.ncep.noaa.gov:443");
}

TEST(Cache, EveryPartOfAUrlIsOnePlainName) {
  const Cache c("/c");
  EXPECT_EQ(c.path_of("https://h:80/a/../b c/%/", "0-9"), "/c/h%3a80/a/%2e%2e/b%20c/%25/%/0-9");
  EXPECT_FALSE(Cache("").get("u", "whole", 10).has_value());
}

std::string grib2(std::size_t n) {
  std::string m = "GRIB";
  m += std::string("\0\0\0\2", 4);
  for (int k = 7; k >= 0; --k) m += static_cast<char>((n >> (8 * k)) & 0xff);
  m.resize(n - 4, 'x');
  return m + "7777";
}

std::span<const unsigned char> bytes(const std::string& s) {
  return {reinterpret_cast<const unsigned char*>(s.data()), s.size()};
}

TEST(MessageCheck, AWholeMessageOfTheIndexLength) {
  EXPECT_EQ(message_fault(bytes(grib2(40))), "");
  std::string cut = grib2(40).substr(0, 39);
  EXPECT_NE(message_fault(bytes(cut)).find("states 40 bytes"), std::string::npos);
  std::string end = grib2(40);
  end[38] = 'x';
  EXPECT_NE(message_fault(bytes(end)).find("7777"), std::string::npos);
  EXPECT_NE(message_fault(bytes("<html>not found</html>")).find("does not start"), std::string::npos);
}

TEST(Assembly, PiecesFromAnyRangeMakeTheMessagesInOrder) {
  testsupport::ScratchDir s;
  const std::string a = grib2(40), b = grib2(60), remote = a + std::string(10, 'g') + b;
  c2m::OutputFile out(s / "out.grib2");
  const std::vector<WantedMessage> wanted = {{1, 0, 40, ""}, {2, 50, std::nullopt, ""}};
  Assembly asm_(wanted, out, "URL");
  std::vector<std::size_t> done;
  asm_.on_done = [&](std::size_t k) { done.push_back(k); };
  asm_.total(static_cast<std::int64_t>(remote.size()));
  EXPECT_EQ(asm_.take(0, bytes(remote.substr(0, 30))), "");
  EXPECT_EQ(asm_.take(0, bytes(remote.substr(0, 20))), "") << "bytes sent again";
  EXPECT_EQ(asm_.take(30, bytes(remote.substr(30, 50))), "");
  EXPECT_EQ(asm_.take(80, bytes(remote.substr(80))), "");
  EXPECT_TRUE(asm_.complete());
  EXPECT_EQ(done, (std::vector<std::size_t>{0, 1}));
  out.commit();
  EXPECT_EQ(testsupport::read_file(s / "out.grib2"), a + b);

  // A message whose bytes are not one is refused, and taken again once whole.
  c2m::OutputFile again(s / "again.grib2");
  Assembly second(wanted, again, "URL");
  second.total(static_cast<std::int64_t>(remote.size()));
  std::string spoilt = remote;
  spoilt[2] = 'X';
  EXPECT_NE(second.take(0, bytes(spoilt.substr(0, 40))).find("bytes 0-39 (message 1) does not start"), std::string::npos);
  EXPECT_EQ(second.take(0, bytes(remote)), "");
  EXPECT_TRUE(second.complete());
  EXPECT_NE(second.take(60, bytes(remote.substr(60))), "x") << "bytes of a message done are passed over";
}

}  // namespace
