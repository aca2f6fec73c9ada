// The linker: reading asset lines, the overlap levels, EM on a sample of
// known parameters, one-to-one assignment and key refusal.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <tuple>
#include <string>
#include <vector>

#include "korvi/link.h"
#include "link/linker.h"

namespace korvi::link {
namespace {

// An assets line with one field, each variant a list of 16-digit fingerprints
// written as small numbers.
std::string line(const std::string& id, const std::vector<std::vector<int>>& variants,
                 const std::string& extra = "") {
  std::string out = "{\"record_id\":\"" + id + "\",\"record_type\":\"person\"" + extra + ",\"name\":[";
  for (size_t v = 0; v < variants.size(); ++v) {
    if (v > 0) out += ",";
    out += "{\"fingerprints\":[";
    for (size_t i = 0; i < variants[v].size(); ++i) {
      char hex[17];
      std::snprintf(hex, sizeof hex, "%016x", variants[v][i]);
      out += std::string(i > 0 ? "," : "") + "\"" + hex + "\"";
    }
    out += "],\"metadata\":{\"field\":\"name\",\"variant_id\":\"" + std::to_string(v + 1) + "\"}}";
  }
  return out + "]}";
}

uint8_t level(const std::vector<std::vector<int>>& a, const std::vector<std::vector<int>>& b) {
  Records ra, rb;
  ParseScratch scratch;
  EXPECT_EQ(parse_line(ra, scratch, line("a", a)), nullptr);
  EXPECT_EQ(parse_line(rb, scratch, line("b", b)), nullptr);
  return compare_field(ra, ra.values[0][0], rb, rb.values[0][0]);
}

TEST(LinkOverlap, GradesTheBestVariantPair) {
  EXPECT_EQ(level({{1, 2}}, {{2, 1}}), KORVI_LINK_EXACT);
  EXPECT_EQ(level({{1, 2}}, {{1, 2, 3}}), KORVI_LINK_STRONG);        // 2 / min(2, 3) = 1, sets differ
  EXPECT_EQ(level({{1, 2, 3}}, {{1, 2, 4}}), KORVI_LINK_STRONG);     // 2/3
  EXPECT_EQ(level({{1, 2, 3, 4}}, {{1, 5, 6, 7}}), KORVI_LINK_WEAK); // 1/4
  EXPECT_EQ(level({{1, 2}}, {{3, 4}}), KORVI_LINK_NONE);
  EXPECT_EQ(level({}, {{3, 4}}), KORVI_LINK_MISSING);
  // The second variant of a equals the first of b: exact, though the union
  // of a's fingerprints is larger.
  EXPECT_EQ(level({{1, 2}, {3, 4}}, {{3, 4}}), KORVI_LINK_EXACT);
  // Shared fingerprints spread over variants count per pair of variants:
  // {1,2} and {1,9} share 1 of 2, {3,4} and {3,9} too; no pair reaches 2/3.
  EXPECT_EQ(level({{1, 2}, {3, 4}}, {{1, 9}, {3, 8}}), KORVI_LINK_WEAK);
  EXPECT_EQ(level({{1, 2, 3}, {7}}, {{5, 2, 3}, {8}}), KORVI_LINK_STRONG);
  // One shared fingerprint: the smallest variants holding it decide, {1}
  // against {1,5} overlaps 1/1 without being equal.
  EXPECT_EQ(level({{1, 2}, {1}}, {{1, 5}}), KORVI_LINK_STRONG);
  EXPECT_EQ(level({{1, 2}, {1, 3}}, {{1, 5}, {6}}), KORVI_LINK_WEAK);
}

TEST(LinkScan, RefusesDamagedLinesAndKeepsTheRest) {
  Records r;
  ParseScratch scratch;
  std::string good = line("C1", {{1, 2}});
  ASSERT_EQ(parse_line(r, scratch, good), nullptr);
  const size_t fingerprints = r.fingerprints.size();
  EXPECT_STREQ(parse_line(r, scratch, good.substr(0, good.size() - 7)), "truncated line: it ends inside the record");
  EXPECT_STREQ(parse_line(r, scratch, "[1,2]"), "not a JSON object");
  EXPECT_STREQ(parse_line(r, scratch, "{\"record_type\":\"person\",\"name\":[]}"), "no record_id");
  EXPECT_STREQ(parse_line(r, scratch, "{\"record_id\":\"C2\",\"name\":[{\"fingerprints\":[\"zz00000000000000\"]}]}"),
               "a fingerprint is not hexadecimal");
  EXPECT_STREQ(parse_line(r, scratch, good + "x"), "text after the record");
  EXPECT_STREQ(parse_line(r, scratch, "{\"record_id\":\"A\xC3\",\"name\":[]}"), "not valid UTF-8");
  EXPECT_STREQ(parse_line(r, scratch, "{\"record_id\":\"\xED\xA0\x80\",\"name\":[]}"), "not valid UTF-8");
  EXPECT_STREQ(parse_line(r, scratch, "{\"record_id\":\"A\\u0000B\",\"name\":[]}"), "a string holds \\u0000");
  EXPECT_STREQ(parse_line(r, scratch, line("C3", {{1}}, ",\"key_id\":\"k1\"")), "key_id differs from the first record's");
  EXPECT_EQ(r.size(), 1u);
  EXPECT_EQ(r.fingerprints.size(), fingerprints);
  EXPECT_EQ(r.id(0), "C1");
  // Escapes in ids are decoded; metadata of any shape is skipped.
  ASSERT_EQ(parse_line(r, scratch, "{\"record_id\":\"A\\u00e9\\\"\",\"name\":[{\"metadata\":{\"x\":[1,-2.5e3,true,null]},"
                                   "\"fingerprints\":[\"00000000000000ff\"]}]}"),
            nullptr);
  EXPECT_EQ(r.id(1), "A\xC3\xA9\"");
}

// Fingerprints of 16 to 64 digits in either case give their first 16 as the
// value; member names and ids with escapes are read unescaped, whether the
// escape opens, ends or sits inside the text.
TEST(LinkScan, ReadsFingerprintsAndEscapedNamesAsWritten) {
  Records r;
  ParseScratch scratch;
  const std::string long_print = "00000000000000ab" + std::string(48, 'f');
  ASSERT_EQ(parse_line(r, scratch,
                       "{\"na\\u006de\":[{\"fingerprints\":[\"" + long_print +
                           "\",\"00000000000000CD\",\"00000000000000ef0\"]}],\"record_id\":\"\\tR\\u00e9x\\\\\"}"),
            nullptr);
  ASSERT_EQ(r.field_names.size(), 1u);
  EXPECT_EQ(r.field_names[0], "name");
  EXPECT_EQ(r.id(0), "\tR\xC3\xA9x\\");
  EXPECT_EQ(r.fingerprints, (std::vector<uint64_t>{0xab, 0xcd, 0xef}));
  // The same field written plainly lands in the same slot.
  ASSERT_EQ(parse_line(r, scratch, line("P2", {{7}})), nullptr);
  EXPECT_EQ(r.field_names.size(), 1u);

  auto with_print = [](const std::string& print) {
    return "{\"record_id\":\"X\",\"name\":[{\"fingerprints\":[\"" + print + "\"]}]}";
  };
  EXPECT_STREQ(parse_line(r, scratch, with_print(std::string(15, '1'))), "a fingerprint has fewer than 16 hex digits");
  EXPECT_STREQ(parse_line(r, scratch, with_print(std::string(20, '1') + "g" + std::string(43, '1'))),
               "a fingerprint is not hexadecimal");
  EXPECT_STREQ(parse_line(r, scratch, with_print(std::string(16, '1') + " ")), "a fingerprint is not hexadecimal");
  const std::string cut = with_print(std::string(40, '1'));
  EXPECT_STREQ(parse_line(r, scratch, cut.substr(0, cut.find("1111") + 30)),
               "truncated line: it ends inside the record");
  EXPECT_STREQ(parse_line(r, scratch, "{\"record_id\":\"A\\q\",\"name\":[]}"), "not valid JSON: bad escape");
  EXPECT_STREQ(parse_line(r, scratch, "{\"record_id\":\"A\x01\",\"name\":[]}"),
               "not valid JSON: control character in a string");
  EXPECT_EQ(r.size(), 2u);
}

TEST(LinkKeys, DifferentKeysOrKeyedAndUnkeyedAreRefused) {
  auto side = [](const std::string& extra) {
    Records r;
    ParseScratch scratch;
    EXPECT_EQ(parse_line(r, scratch, line("C1", {{1}}, extra)), nullptr);
    return r;
  };
  for (auto [left, right, ok] : {std::tuple{"", "", true}, {",\"key_id\":\"k1\"", ",\"key_id\":\"k1\"", true},
                                 {",\"key_id\":\"k1\"", ",\"key_id\":\"k2\"", false},
                                 {",\"key_id\":\"k1\"", "", false}, {"", ",\"key_id\":\"k2\"", false}}) {
    Linker linker;
    Records l = side(left), r = side(right);
    ASSERT_EQ(linker.append(KORVI_LINK_LEFT, l), "");
    ASSERT_EQ(linker.append(KORVI_LINK_RIGHT, r), "");
    EXPECT_EQ(linker.prepare("", 0, 1).empty(), ok) << left << " / " << right;
  }
  // Within one side, a block of another key is refused on append.
  Linker linker;
  Records a = side(",\"key_id\":\"k1\""), b = side("");
  ASSERT_EQ(linker.append(KORVI_LINK_LEFT, a), "");
  EXPECT_NE(linker.append(KORVI_LINK_LEFT, b), "");
}

TEST(LinkEm, RecoversKnownParametersOfTwoClasses) {
  // Three fields, counts drawn exactly from a two-class model.
  const double prior = 0.05;
  const std::array<std::array<double, 4>, 3> m = {{{0.85, 0.08, 0.04, 0.03}, {0.7, 0.1, 0.1, 0.1}, {0.9, 0.02, 0.03, 0.05}}};
  const std::array<std::array<double, 4>, 3> u = {{{0.01, 0.04, 0.15, 0.80}, {0.02, 0.08, 0.3, 0.6}, {0.005, 0.01, 0.085, 0.9}}};
  std::vector<uint64_t> counts(125);
  for (int a = 0; a < 4; ++a)
    for (int b = 0; b < 4; ++b)
      for (int c = 0; c < 4; ++c) {
        double p = prior * m[0][a] * m[1][b] * m[2][c] + (1 - prior) * u[0][a] * u[1][b] * u[2][c];
        counts[a + 5 * b + 25 * c] = static_cast<uint64_t>(std::llround(p * 1e8));
      }
  std::array<std::array<double, kScoredLevels>, kMaxFields> u_start{};
  for (auto& row : u_start) row = {0.1, 0.2, 0.3, 0.4};
  Model fitted = fit_model(counts.data(), 3, u_start, 0.2, false);
  EXPECT_EQ(fitted.fallback, "");
  EXPECT_NEAR(fitted.prior, prior, 1e-3);
  for (int f = 0; f < 3; ++f)
    for (int l = 0; l < 4; ++l) {
      EXPECT_NEAR(fitted.m[f][l], m[f][l], 5e-3) << f << " " << l;
      EXPECT_NEAR(fitted.u[f][l], u[f][l], 5e-3) << f << " " << l;
    }
}

TEST(LinkEm, FallsBackWhenThereIsNoMatchClass) {
  // Every pair disagrees on every field: no class of matches exists.
  std::vector<uint64_t> counts(25);
  counts[KORVI_LINK_NONE + 5 * KORVI_LINK_NONE] = 100000;
  std::array<std::array<double, kScoredLevels>, kMaxFields> u_start{};
  for (auto& row : u_start) row = {0.01, 0.02, 0.07, 0.9};
  Model fitted = fit_model(counts.data(), 2, u_start, 0.01, false);
  EXPECT_NE(fitted.fallback, "");
  EXPECT_EQ(fitted.u[0], u_start[0]);
  EXPECT_DOUBLE_EQ(fitted.prior, 0.01);
}

TEST(LinkAssign, GreedyOneToOneByProbability) {
  auto pair = [](uint32_t l, uint32_t r, double p) {
    KorviLinkPair x{};
    x.left = l, x.right = r, x.probability = p, x.match_weight = p;
    return x;
  };
  // Best first: (1,1) 0.99 takes left 1 and right 1, so (1,2) and (2,1)
  // are out; (2,2) 0.6 is kept; (3,2) loses right 2 to it.
  std::vector<KorviLinkPair> pairs = {pair(1, 2, 0.95), pair(2, 2, 0.6), pair(1, 1, 0.99), pair(2, 1, 0.9),
                                      pair(3, 2, 0.55)};
  ASSERT_EQ(korvi_link_assign(pairs.data(), pairs.size(), 1), 2u);
  EXPECT_EQ(pairs[0].left, 1u);
  EXPECT_EQ(pairs[0].right, 1u);
  EXPECT_EQ(pairs[1].left, 2u);
  EXPECT_EQ(pairs[1].right, 2u);
  // Without one-to-one every pair stays, ordered by left then right.
  std::vector<KorviLinkPair> all = {pair(2, 1, 0.9), pair(1, 2, 0.95), pair(1, 1, 0.99)};
  ASSERT_EQ(korvi_link_assign(all.data(), all.size(), 0), 3u);
  EXPECT_EQ(all[0].right, 1u);
  EXPECT_EQ(all[1].right, 2u);
  EXPECT_EQ(all[2].left, 2u);
}

TEST(LinkApi, BlocksScoresAndNeverCrashesOnNull) {
  KorviLinker* linker = korvi_link_new();
  KorviLinkBlock* block = korvi_link_block_new();
  // Left: three people; right: the second one again and a stranger.
  for (const auto& l : {line("L1", {{1, 2}}), line("L2", {{3, 4}}), line("L3", {{5, 6}})})
    ASSERT_EQ(korvi_link_block_add_line(block, l.data(), l.size()), nullptr);
  ASSERT_EQ(korvi_link_append(linker, KORVI_LINK_LEFT, block, nullptr), 0);
  EXPECT_EQ(korvi_link_block_size(block), 0u);
  for (const auto& l : {line("R1", {{3, 4}}), line("R2", {{7, 8}})})
    ASSERT_EQ(korvi_link_block_add_line(block, l.data(), l.size()), nullptr);
  ASSERT_EQ(korvi_link_append(linker, KORVI_LINK_RIGHT, block, nullptr), 0);
  char* error = nullptr;
  ASSERT_EQ(korvi_link_prepare(linker, "nosuchfield", 0, 1, &error), -1);
  EXPECT_NE(std::string(error).find("nosuchfield"), std::string::npos);
  std::free(error);
  ASSERT_EQ(korvi_link_prepare(linker, nullptr, 0, 1, nullptr), 0);
  ASSERT_EQ(korvi_link_pattern_count(linker), 5u);
  std::vector<uint64_t> counts(5);
  EXPECT_EQ(korvi_link_count_patterns(linker, 0, 2, counts.data()), 1u);  // only R1-L2 share a fingerprint
  EXPECT_EQ(counts[KORVI_LINK_EXACT], 1u);
  KorviLinkPair pair;
  EXPECT_EQ(korvi_link_compare(linker, 1, 0, &pair), 1);
  EXPECT_EQ(korvi_link_compare(linker, 0, 0, &pair), 0);
  EXPECT_EQ(pair.levels[0], KORVI_LINK_NONE);
  EXPECT_EQ(korvi_link_compare(linker, 9, 0, &pair), -1);
  EXPECT_STREQ(korvi_link_record_id(linker, KORVI_LINK_RIGHT, 1), "R2");
  EXPECT_EQ(korvi_link_record_id(linker, KORVI_LINK_RIGHT, 2), nullptr);
  const char* model = R"({"prior":0.5,"m":{"name":[0.9,0.04,0.03,0.03]},"u":{"name":[0.01,0.04,0.15,0.8]}})";
  ASSERT_EQ(korvi_link_set_model(linker, model, nullptr), 0);
  size_t found = 0;
  KorviLinkPair* pairs = korvi_link_score(linker, 0, 2, 0.5, &found);
  ASSERT_EQ(found, 1u);
  EXPECT_EQ(pairs[0].left, 1u);
  EXPECT_NEAR(pairs[0].match_weight, std::log2(0.9 / 0.01), 1e-9);  // prior 0.5 weighs nothing
  std::free(pairs);
  EXPECT_EQ(korvi_link_set_model(linker, R"({"prior":0.5,"m":{},"u":{}})", nullptr), -1);

  EXPECT_EQ(korvi_link_block_add_line(nullptr, "{}", 2), std::string("no block or no line"));
  EXPECT_EQ(korvi_link_append(nullptr, 0, nullptr, nullptr), -1);
  EXPECT_EQ(korvi_link_score(nullptr, 0, 1, 0.5, &found), nullptr);
  EXPECT_EQ(korvi_link_model(nullptr), nullptr);
  EXPECT_EQ(korvi_link_field_name(linker, 5), nullptr);
  korvi_link_block_delete(block);
  korvi_link_delete(linker);
}

// A person with a name and an ssn field, fingerprints written as small numbers.
std::string person(const std::string& id, const std::vector<int>& name, const std::vector<int>& ssn) {
  auto field = [&](const char* f, const std::vector<int>& fps) {
    std::string out = std::string(",\"") + f + "\":[";
    if (!fps.empty()) {
      out += "{\"fingerprints\":[";
      for (size_t i = 0; i < fps.size(); ++i) {
        char hex[17];
        std::snprintf(hex, sizeof hex, "%016x", fps[i]);
        out += std::string(i > 0 ? "," : "") + "\"" + hex + "\"";
      }
      out += std::string("],\"metadata\":{\"field\":\"") + f + "\",\"variant_id\":\"1\"}}";
    }
    return out + "]";
  };
  return "{\"record_id\":\"" + id + "\",\"record_type\":\"person\"" + field("name", name) + field("ssn", ssn) + "}";
}

KorviLinker* linker_of(const std::vector<std::string>& left, const std::vector<std::string>& right) {
  KorviLinker* linker = korvi_link_new();
  KorviLinkBlock* block = korvi_link_block_new();
  for (int side = 0; side < 2; ++side) {
    for (const auto& l : side == 0 ? left : right) EXPECT_EQ(korvi_link_block_add_line(block, l.data(), l.size()), nullptr);
    EXPECT_EQ(korvi_link_append(linker, side == 0 ? KORVI_LINK_LEFT : KORVI_LINK_RIGHT, block, nullptr), 0);
  }
  korvi_link_block_delete(block);
  return linker;
}

uint64_t summary_number(const KorviLinker* linker, const std::string& key) {
  char* text = korvi_link_summary(linker);
  std::string facts = text;
  std::free(text);
  size_t at = facts.find("\"" + key + "\":");
  return at == std::string::npos ? ~uint64_t{0} : std::strtoull(facts.c_str() + at + key.size() + 3, nullptr, 10);
}

TEST(LinkBlocking, PairsShareTwoFieldsOrAFingerprintNoOtherLeftRecordHolds) {
  // Fingerprint 1 is held by L1 and L2; 5 by L3 alone.
  const std::vector<std::string> left = {person("L1", {1, 2}, {100}), person("L2", {1, 3}, {101}),
                                         person("L3", {5, 6}, {})};
  const std::vector<std::string> right = {person("R1", {1, 2}, {100}), person("R2", {5, 9}, {}),
                                          person("R3", {1, 7}, {102})};
  struct Case {
    uint32_t min_shared;
    const char* blocking;
    int l1r1, l2r1, l3r2, l1r3;
  };
  const Case cases[] = {
      {2, "", 1, 0, 1, 0},        // L1-R1 share name and ssn; L3-R2 a unique fingerprint
      {1, "", 1, 1, 1, 1},        // any shared fingerprint
      {2, "name", 1, 1, 1, 1},    // one blocking field: sharing it is all there can be
      {3, "", 1, 0, 1, 0},        // more fields than there are blocking fields
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.min_shared) + " " + c.blocking);
    KorviLinker* linker = linker_of(left, right);
    ASSERT_EQ(korvi_link_set_min_shared_fields(linker, c.min_shared, nullptr), 0);
    ASSERT_EQ(korvi_link_prepare(linker, c.blocking, 0, 1, nullptr), 0);
    KorviLinkPair pair;
    EXPECT_EQ(korvi_link_compare(linker, 0, 0, &pair), c.l1r1);
    EXPECT_EQ(korvi_link_compare(linker, 1, 0, &pair), c.l2r1);
    EXPECT_EQ(korvi_link_compare(linker, 2, 1, &pair), c.l3r2);
    EXPECT_EQ(korvi_link_compare(linker, 0, 2, &pair), c.l1r3);
    // Fitting sees every pair sharing a blocking fingerprint, whatever the rule.
    std::vector<uint64_t> counts(korvi_link_pattern_count(linker));
    EXPECT_EQ(korvi_link_count_patterns(linker, 0, 3, counts.data()), 5u);
    // Scoring takes the candidates and counts them.
    const char* model = R"({"prior":0.5,"m":{"name":[0.9,0.04,0.03,0.03],"ssn":[0.9,0.04,0.03,0.03]},)"
                        R"("u":{"name":[0.01,0.04,0.15,0.8],"ssn":[0.01,0.04,0.15,0.8]}})";
    ASSERT_EQ(korvi_link_set_model(linker, model, nullptr), 0);
    size_t found = 0;
    std::free(korvi_link_score(linker, 0, 3, 0.0, &found));
    EXPECT_EQ(found, static_cast<size_t>(c.l1r1 + c.l2r1 + c.l3r2 + c.l1r3 + (c.l2r1 /* L2-R3 */)));
    EXPECT_EQ(summary_number(linker, "candidate_pairs"), found);
    EXPECT_EQ(summary_number(linker, "min_shared_fields"), c.min_shared);
    EXPECT_EQ(korvi_link_set_min_shared_fields(linker, 1, nullptr), -1);  // too late
    korvi_link_delete(linker);
  }
  KorviLinker* linker = korvi_link_new();
  EXPECT_EQ(korvi_link_set_min_shared_fields(linker, 0, nullptr), -1);
  EXPECT_EQ(korvi_link_set_min_shared_fields(linker, KORVI_LINK_MAX_FIELDS + 1, nullptr), -1);
  EXPECT_EQ(korvi_link_set_min_shared_fields(nullptr, 2, nullptr), -1);
  EXPECT_EQ(korvi_link_set_fit_records(nullptr, 2, nullptr), -1);
  korvi_link_delete(linker);
}

TEST(LinkFitSample, FitsOnASampleButFindsBestPairsAmongAllRecords) {
  // 2,000 people on each side, every right record a copy of its left one.
  std::vector<std::string> left, right;
  for (int i = 0; i < 2000; ++i) {
    left.push_back(person("L" + std::to_string(i), {2 * i + 1, 2 * i + 2}, {100000 + i}));
    right.push_back(person("R" + std::to_string(i), {2 * i + 1, 2 * i + 2}, {100000 + i}));
  }
  for (uint64_t seed : {1, 2}) {
    KorviLinker* linker = linker_of(left, right);
    ASSERT_EQ(korvi_link_set_fit_records(linker, 200, nullptr), 0);
    ASSERT_EQ(korvi_link_prepare(linker, nullptr, 0, seed, nullptr), 0);
    EXPECT_EQ(korvi_link_set_fit_records(linker, 100, nullptr), -1);  // too late
    // Each record is in with probability 1/10: 200 expected, 13 the
    // standard deviation.
    uint64_t sampled = summary_number(linker, "fit_records");
    EXPECT_GT(sampled, 140u);
    EXPECT_LT(sampled, 260u);
    std::vector<uint64_t> counts(korvi_link_pattern_count(linker));
    EXPECT_EQ(korvi_link_count_patterns(linker, 0, 2000, counts.data()), sampled);  // one pair each
    const char* model = R"({"prior":0.5,"m":{"name":[0.9,0.04,0.03,0.03],"ssn":[0.9,0.04,0.03,0.03]},)"
                        R"("u":{"name":[0.01,0.04,0.15,0.8],"ssn":[0.01,0.04,0.15,0.8]}})";
    ASSERT_EQ(korvi_link_set_model(linker, model, nullptr), 0);
    std::vector<double> best(2000, -HUGE_VAL);
    korvi_link_best_left(linker, 0, 2000, best.data());
    for (double w : best) ASSERT_NEAR(w, 2 * std::log2(0.9 / 0.01), 1e-9);
    korvi_link_delete(linker);
  }
  // At most as many right records as asked for: all of them.
  KorviLinker* linker = linker_of(left, right);
  ASSERT_EQ(korvi_link_prepare(linker, nullptr, 0, 1, nullptr), 0);
  EXPECT_EQ(summary_number(linker, "fit_records"), 2000u);
  korvi_link_delete(linker);
}

}  // namespace
}  // namespace korvi::link
