// Every export called from several threads at once, on inputs the threads
// share, answers exactly as it does alone. Built with -DKORVI_TSAN=ON this is
// also the ThreadSanitizer's workload (scripts/test-sanitizers.sh).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "korvi/korvi.h"
#include "korvi/stringlist.h"

namespace {

struct Job {
  std::string name;
  std::function<std::string()> run;
};

std::string take(char* text) {
  if (text == nullptr) return "(null)";
  std::string copy(text);
  std::free(text);
  return copy;
}

std::string take_result(FingerprintResult* result) {
  if (result == nullptr) return "(null)";
  std::string out = std::to_string(result->status) + ":" + result->text;
  free_result(result);
  return out;
}

std::string take_tree(JsonNode* node) {
  std::string out = take(json_encode(node));
  json_delete(node);
  return out;
}

std::string take_set(ShingleSet* set) {
  if (set == nullptr) return "(null)";
  std::string out = std::to_string(set->count) + "/" + std::to_string(set->length);
  for (uint32_t i = 0; i < set->count; ++i) out += std::string(",") + set->items[i];
  free_shingles(set);
  return out;
}

std::string take_codepoints(int32_t* codepoints) {
  if (codepoints == nullptr) return "(null)";
  std::string out;
  for (const int32_t* p = codepoints; *p != 0; ++p) out += std::to_string(*p) + " ";
  std::free(codepoints);
  return out;
}

// Inputs every thread reads at the same time.
const char* const kTexts[] = {
    "john smith jr",
    "Ünïcödé straße 12, 1000 Bruxelles — naïve café ｆｕｌｌｗｉｄｔｈ",
    "call 555-1234 now, or e-mail john.doe@example.com",
    "\"new york\" OR (brooklyn - \"staten island\") AND queens bronx",
    "red green (blue OR yellow) - \"light orange\" ((purple))",
    "bad \xC3 utf-8 here and there",
    "short",
};
const char kJson[] =
    R"({"name":"Zoë","tags":["a","b",{"deep":[1,2.5,-3e-7,true,false,null]}],"n":1e300,"s":"\u00e9\ud83d\ude00"})";

struct Shared {
  JsonNode* tree = json_decode(kJson);
  ShingleSet* set = shingled("the quick brown fox jumps over the lazy dog", 0);
  int32_t* codepoints = utf8_decode(kTexts[1]);
  // One key read by every thread at once.
  korvi_key* key = korvi_key_new(reinterpret_cast<const unsigned char*>("0123456789abcdef0123456789abcdef"), 32);
  std::string long_text;

  Shared() {
    for (int i = 0; i < 40; ++i) long_text += "word" + std::to_string(i) + (i % 7 == 0 ? " OR " : " ");
  }
  ~Shared() {
    json_delete(tree);
    free_shingles(set);
    std::free(codepoints);
    korvi_key_free(key);
  }
};

int32_t drop_vowels(int32_t codepoint, void*) {
  return codepoint < 0x80 && std::strchr("AEIOUaeiou", codepoint) != nullptr ? 0 : codepoint;
}

std::vector<Job> jobs(const Shared& shared) {
  std::vector<Job> list;
  auto add = [&](std::string name, std::function<std::string()> run) {
    list.push_back({std::move(name), std::move(run)});
  };
  const uint32_t flag_words[] = {0,
                                 FINGERPRINT_RAW,
                                 FINGERPRINT_TILED,
                                 FINGERPRINT_SHORT | FINGERPRINT_TILED | FINGERPRINT_RAW,
                                 FINGERPRINT_BOOLEAN,
                                 FINGERPRINT_BOOLEAN | FINGERPRINT_SHORT | FINGERPRINT_TILED,
                                 FINGERPRINT_BOOLEAN | FINGERPRINT_PARSE_ONLY,
                                 0xFFFFFFFFu};
  const char* long_text = shared.long_text.c_str();
  for (const char* text : kTexts) {
    for (uint32_t flags : flag_words) {
      for (int mode : {CLEAN_TEXT, CLEAN_CODE, CLEAN_DIGITS, 9}) {
        add("fingerprint", [=] { return take_result(fingerprint(text, mode, flags)); });
      }
      add("js_fingerprint", [=] { return take(js_fingerprint(text, CLEAN_TEXT, flags)); });
      add("fingerprint_chunk", [=] { return take(fingerprint_chunk(text, flags)); });
    }
    for (int mode : {CLEAN_TEXT, CLEAN_CODE, CLEAN_DIGITS}) {
      add("clean_string", [=] { return take(clean_string(text, mode)); });
      add("utf8_clean", [=] { return take(utf8_clean(text, mode)); });
      add("fingerprint_string", [=] {
        FingerprintResult status{STATUS_OK, nullptr};
        std::string out = take_set(fingerprint_string(text, mode, FINGERPRINT_SHORT, &status));
        return out + "#" + std::to_string(status.status);
      });
    }
    add("shingled/tiled", [=] { return take_set(shingled(text, 0)) + take_set(tiled(text, FINGERPRINT_SHORT)); });
    add("pad_string", [=] {
      FingerprintResult status{STATUS_OK, nullptr};
      return take(pad_string(text, &status)) + std::to_string(status.status);
    });
    add("codepoints", [=] {
      return std::to_string(utf8_codepoint_count(text)) + "/" + std::to_string(read_codepoints(text, 5));
    });
    add("utf8_decode/encode", [=] {
      int32_t* decoded = utf8_decode(text);
      std::string out = take(utf8_encode(decoded)) + std::to_string(unicode_length(decoded));
      std::free(decoded);
      return out;
    });
    add("fingerprint_shingle", [=] {
      char out[65];
      fingerprint_shingle(text, out, std::strlen(text), 0);
      return std::string(out);
    });
    add("boolean_parse", [=] { return take_tree(boolean_parse(text)); });
    add("shingle_boolean_parse_result", [=] {
      JsonNode* tree = boolean_parse(text);
      FingerprintResult status{STATUS_OK, nullptr};
      shingle_boolean_parse_result(tree, CLEAN_TEXT, FINGERPRINT_SHORT, &status);
      return take_tree(tree) + std::to_string(status.status);
    });
    add("shingle_replace_string", [=] {
      JsonNode* node = json_mkstring(text);
      FingerprintResult status{STATUS_OK, nullptr};
      shingle_replace_string(node, CLEAN_CODE, 0, &status);
      return take_tree(node) + std::to_string(status.status);
    });
    add("json_encode_string", [=] { return take(json_encode_string(text)); });
    add("json_decode/validate", [=] {
      return take_tree(json_decode(text)) + (json_validate(text) ? "valid" : "invalid");
    });
    add("assets_from_name", [=] { return take(assets_from_name("person", text, text, "James", "Doe")); });
    add("assets_from_name/no middle", [=] { return take(assets_from_name(text, "1", "Bob", nullptr, text)); });
    add("assets_from_address", [=] { return take(assets_from_address("person", "42", text)); });
    add("assets_from_city_state_zip",
        [=] { return take(assets_from_city_state_zip("person", "42", text, "tx", "78701-1234")); });
    add("assets_from_email_address", [=] { return take(assets_from_email_address("person", "42", text)); });
    add("assets_from_ssn", [=] { return take(assets_from_ssn("person", "42", text)); });
    add("assets_from_phone_number", [=] { return take(assets_from_phone_number("person", "42", text)); });
  }
  for (uint32_t flags : flag_words) {
    add("fingerprint/long", [=] { return take_result(fingerprint(long_text, CLEAN_TEXT, flags)); });
  }
  add("assets_from_address/long", [=] { return take(assets_from_address("p", "1", "1 N ST AVE CT")); });
  const korvi_key* key = shared.key;
  for (const char* text : {kTexts[0], kTexts[1], kTexts[3], long_text}) {
    for (uint32_t flags : flag_words) {
      add("fingerprint_keyed", [=] { return take_result(fingerprint_keyed(key, text, CLEAN_TEXT, flags)); });
      add("fingerprint_chunk_keyed", [=] { return take(fingerprint_chunk_keyed(key, text, flags)); });
    }
    add("assets_from_*_keyed", [=] {
      return take(assets_from_name_keyed(key, "p", "1", text, "James", "Doe")) +
             take(assets_from_address_keyed(key, "p", "1", text)) +
             take(assets_from_city_state_zip_keyed(key, "p", "1", text, "tx", "78701")) +
             take(assets_from_email_address_keyed(key, "p", "1", text)) +
             take(assets_from_ssn_keyed(key, "p", "1", text)) +
             take(assets_from_phone_number_keyed(key, "p", "1", text));
    });
  }
  // One array of texts, read by every thread at once, public salt and keyed.
  for (uint32_t flags : flag_words) {
    add("korvi_fingerprint_many", [=] {
      int64_t counts[std::size(kTexts)];
      return take(korvi_fingerprint_many(kTexts, std::size(kTexts), CLEAN_TEXT, flags, counts)) +
             std::to_string(counts[0]) + std::to_string(counts[5]) +
             take(korvi_fingerprint_many_keyed(key, kTexts, std::size(kTexts), CLEAN_TEXT, flags, counts));
    });
  }
  add("korvi_key_id", [=] {
    char id[17];
    return std::to_string(korvi_key_id(key, id)) + id;
  });

  // Shared trees, sets and arrays are only read.
  add("json_encode/stringify", [&shared] {
    return take(json_encode(shared.tree)) + take(json_stringify(shared.tree, "  ")) +
           take(json_stringify(shared.tree, nullptr));
  });
  add("json_check/find", [&shared] {
    char message[256] = "";
    const bool ok = json_check(shared.tree, message);
    JsonNode* tags = json_find_member(shared.tree, "tags");
    JsonNode* third = json_find_element(tags, 2);
    return std::to_string(ok) + message + take(json_encode(json_first_child(third)));
  });
  add("shingle sets", [&shared] {
    std::string out = take(raw_encode(shared.set));
    out += take_tree(shingles_to_json(shared.set));
    JsonNode* array = json_mkarray();
    out += std::to_string(shingles_into_json(shared.set, array));
    out += take_tree(array);
    StringList* list = shingles_to_array(shared.set);
    out += std::to_string(utarray_len(list));
    for (char** item = nullptr; (item = static_cast<char**>(utarray_next(list, item))) != nullptr;) out += *item;
    utarray_free(list);
    return out;
  });
  add("sort/dedup", [] {
    ShingleSet* set = new_shingles(6, 2);
    const char* items[] = {"cc", "aa", "bb", "aa", "cc", "ab"};
    for (int i = 0; i < 6; ++i) std::memcpy(set->items[i], items[i], 3);
    sort_shingles(set);
    dedup_shingles(set);
    char* roots[] = {set->items[0], set->items[1]};
    sift_down(roots, 0, 2);
    return take_set(set);
  });
  add("codepoint strings", [&shared] {
    int32_t* copy = unicode_duplicate(shared.codepoints);
    unicode_mutate(copy, drop_vowels, nullptr);
    std::string out = take_codepoints(copy);
    out += take_codepoints(unicode_clean(shared.codepoints, CLEAN_TEXT));
    out += take_codepoints(unicode_collapse_whitespace(shared.codepoints));
    for (const int32_t* p = shared.codepoints; *p != 0; ++p) {
      out += std::to_string(is_valid_text(*p)) + std::to_string(is_valid_code(*p)) +
             std::to_string(is_valid_digit(*p)) + std::to_string(filter_codepoint_by_mode(*p, CLEAN_DIGITS)) +
             std::to_string(filter_and_upcase(*p, reinterpret_cast<void*>(uintptr_t{1})));
    }
    return out;
  });
  add("sprint_hex", [] {
    const uint8_t bytes[] = {0x00, 0x7F, 0x80, 0xFF};
    char out[9];
    return std::to_string(sprint_hex(out, bytes, 4)) + out;
  });
  add("tree building", [] {
    JsonNode* object = json_mkobject();
    JsonNode* array = json_mkarray();
    json_append_element(array, json_mknumber(0.1));
    json_prepend_element(array, json_mkbool(true));
    json_append_element(array, json_mknull());
    json_append_member(object, "list", array);
    json_prepend_member(object, "first", json_mkstring("x"));
    JsonNode* removed = json_find_element(array, 1);
    json_remove_from_parent(removed);
    json_delete(removed);
    JsonNode* op = create_operator("OR", json_mkstring("a"), json_mkstring("b"));
    json_append_member(object, "op", op);
    return take_tree(object);
  });
  add("library", [] {
    void* block = std::malloc(8);
    korvi_free(block);
    return std::string(korvi_version()) + korvi_unicode_version() + korvi_sha512_implementation() +
           std::to_string(yydebug);
  });
  return list;
}

TEST(Concurrency, EveryExportAnswersAsItDoesAlone) {
  const Shared shared;
  ASSERT_NE(shared.tree, nullptr);
  ASSERT_NE(shared.set, nullptr);
  const std::vector<Job> list = jobs(shared);
  std::vector<std::string> alone;
  for (const Job& job : list) alone.push_back(job.run());

  constexpr size_t kThreads = 4;
  constexpr size_t kRounds = 2;
  std::atomic<size_t> ready{0};
  std::vector<std::vector<std::string>> mismatches(kThreads);
  std::vector<std::thread> threads;
  for (size_t t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      // Start together, each at a different place in the list and going
      // its own way round, so different exports overlap.
      ++ready;
      while (ready.load() < kThreads) std::this_thread::yield();
      const size_t n = list.size();
      for (size_t round = 0; round < kRounds; ++round) {
        for (size_t k = 0; k < n; ++k) {
          const size_t i = t % 2 == 0 ? (k + t * n / kThreads) % n : (n - 1 - k + t * 7) % n;
          if (list[i].run() != alone[i]) mismatches[t].push_back(list[i].name);
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (size_t t = 0; t < kThreads; ++t) EXPECT_TRUE(mismatches[t].empty()) << "thread " << t << ": " << mismatches[t].front();
}

}  // namespace
