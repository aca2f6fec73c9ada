// korvi link: the pairs of records of two `korvi assets` outputs that are the
// same person, through the library's linker (korvi/link.h). The command
// drives the threads; the library only answers calls.
#include <unistd.h>

#include <korvi/korvi.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>
#include <unordered_map>
#include <unordered_set>

#include "cli.h"
#include "pipeline.h"
#include "progress.h"
#include "readers.h"

namespace korvi_cli {

namespace {

constexpr const char* kLevelNames[KORVI_LINK_LEVELS] = {"exact", "strong", "weak", "none", "missing"};
constexpr uint32_t kChunk = 64;  // right records per library call

struct LinkerDeleter {
  void operator()(KorviLinker* l) const { korvi_link_delete(l); }
};
struct BlockDeleter {
  void operator()(KorviLinkBlock* b) const { korvi_link_block_delete(b); }
};
struct TextDeleter {
  void operator()(char* p) const { korvi_free(p); }
};
using Text = std::unique_ptr<char, TextDeleter>;

std::string take_error(char* error) {
  Text owned(error);
  return owned ? std::string(owned.get()) : std::string("out of memory");
}

// Reads one assets file into a side of the linker: lines are parsed on the
// worker threads, one block per batch, and appended in input order. Bad
// lines are reported on standard error with their line number.
uint64_t load_side(KorviLinker* linker, int side, const std::string& path, unsigned threads, bool quiet,
                   uint64_t& bad_lines) {
  Input input(path);
  // Asset lines are machine-written; the bound only stops a damaged file
  // (one endless line) from taking all memory.
  auto reader = make_jsonl_reader(input, 256, size_t{64} << 20);
  const size_t in_flight = 3 * static_cast<size_t>(threads) + 2;
  std::vector<std::unique_ptr<KorviLinkBlock, BlockDeleter>> blocks(in_flight);
  for (auto& b : blocks) {
    b.reset(korvi_link_block_new());
    if (!b) throw std::bad_alloc();
  }
  Progress progress(!quiet && isatty(STDERR_FILENO), input.size());
  uint64_t records = 0, bytes_done = 0;
  Pipeline pipeline(
      threads, in_flight,
      [&](Batch& b) {
        KorviLinkBlock* block = blocks[b.seq % in_flight].get();
        b.rejects.clear();
        b.rejected = 0;
        for (const Row& row : b.rows) {
          std::string_view line = b.field(row.first);
          const char* why = korvi_link_block_add_line(block, line.data(), line.size());
          if (why == nullptr) continue;
          if (std::strcmp(why, "out of memory") == 0) throw std::bad_alloc();
          b.rejects += "korvi: " + input.name() + " line " + std::to_string(row.line) + ": " + why + "\n";
          ++b.rejected;
        }
      },
      [&](Batch& b) {
        KorviLinkBlock* block = blocks[b.seq % in_flight].get();
        records += korvi_link_block_size(block);
        char* error = nullptr;
        if (korvi_link_append(linker, side, block, &error) != 0) throw UsageError(input.name() + ": " + take_error(error));
        if (b.rejected > 0) {
          progress.clear();
          std::fputs(b.rejects.c_str(), stderr);
          bad_lines += b.rejected;
        }
        bytes_done = b.input_end;
      },
      [&] { progress.update(records, bytes_done); });
  for (auto batch = reader->next(); batch; batch = reader->next()) {
    if (!pipeline.submit(std::move(batch))) break;
    while (auto spare = pipeline.spare()) reader->recycle(std::move(spare));
  }
  pipeline.finish();
  progress.clear();
  return records;
}

// Runs body(begin, end) over the right records in chunks on the threads,
// keeping the progress bar moving from this thread.
template <class Body>
void over_right(uint32_t right_count, unsigned threads, Progress& progress, uint64_t done_before, Body body) {
  std::atomic<uint32_t> next{0};
  std::atomic<uint64_t> done{0};
  std::exception_ptr failure;
  std::mutex failure_mutex;
  std::vector<std::thread> workers;
  for (unsigned t = 0; t < threads; ++t)
    workers.emplace_back([&, t] {
      try {
        for (;;) {
          uint32_t begin = next.fetch_add(kChunk);
          if (begin >= right_count) return;
          uint32_t end = std::min(right_count, begin + kChunk);
          body(t, begin, end);
          done += end - begin;
        }
      } catch (...) {
        std::lock_guard lock(failure_mutex);
        if (!failure) failure = std::current_exception();
        next = right_count;
      }
    });
  while (done.load() < right_count) {
    {
      std::lock_guard lock(failure_mutex);
      if (failure) break;
    }
    progress.update(done_before + done.load(), done_before + done.load());
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  for (auto& w : workers) w.join();
  if (failure) std::rethrow_exception(failure);
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw IoError("cannot open " + path + ": " + std::strerror(errno));
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void write_file(const std::string& path, const std::string& text) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) throw IoError("cannot create " + path + ": " + std::strerror(errno));
  bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  ok = std::fclose(f) == 0 && ok;
  if (!ok) throw IoError("cannot write " + path + ": " + std::strerror(errno));
}

// The first two fields of a CSV line, unquoted.
std::pair<std::string, std::string> first_two_fields(const std::string& line) {
  std::string fields[2];
  size_t i = 0;
  for (int f = 0; f < 2 && i <= line.size(); ++f) {
    if (i < line.size() && line[i] == '"') {
      for (++i; i < line.size(); ++i) {
        if (line[i] == '"') {
          if (i + 1 < line.size() && line[i + 1] == '"') {
            fields[f].push_back('"');
            ++i;
          } else {
            ++i;
            break;
          }
        } else {
          fields[f].push_back(line[i]);
        }
      }
      while (i < line.size() && line[i] != ',') ++i;
    } else {
      size_t comma = std::min(line.find(',', i), line.size());
      fields[f] = line.substr(i, comma - i);
      i = comma;
    }
    ++i;  // past the comma
  }
  return {fields[0], fields[1]};
}

struct Evaluation {
  uint64_t true_pairs = 0, found = 0, lost_by_blocking = 0, unknown_ids = 0;
};

Evaluation evaluate(const KorviLinker* linker, const std::string& truth_path, const std::vector<KorviLinkPair>& pairs) {
  std::unordered_map<std::string, uint32_t> left_index, right_index;
  for (int side = 0; side < 2; ++side) {
    auto& index = side == 0 ? left_index : right_index;
    uint32_t n = korvi_link_record_count(linker, side);
    index.reserve(n);
    for (uint32_t i = 0; i < n; ++i) index.emplace(korvi_link_record_id(linker, side, i), i);
  }
  std::ifstream in(truth_path, std::ios::binary);
  if (!in) throw IoError("cannot open " + truth_path + ": " + std::strerror(errno));
  std::unordered_set<uint64_t> truth;
  std::string line;
  Evaluation e;
  bool header = true;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (header || line.empty()) {
      header = false;
      continue;
    }
    auto [left, right] = first_two_fields(line);
    auto l = left_index.find(left);
    auto r = right_index.find(right);
    ++e.true_pairs;
    if (l == left_index.end() || r == right_index.end()) {
      ++e.unknown_ids;
      continue;
    }
    truth.insert(uint64_t{l->second} << 32 | r->second);
    KorviLinkPair pair;
    if (korvi_link_compare(linker, l->second, r->second, &pair) == 0) ++e.lost_by_blocking;
  }
  for (const auto& p : pairs) e.found += truth.count(uint64_t{p.left} << 32 | p.right);
  return e;
}

}  // namespace

int run_link(const LinkOptions& o) {
  if (!(o.threshold >= 0 && o.threshold <= 1)) throw UsageError("--threshold must be between 0 and 1");
  if (o.left == "-" && o.right == "-") throw UsageError("LEFT and RIGHT cannot both be standard input");
  const unsigned threads = o.threads != 0 ? o.threads : std::max(1u, std::thread::hardware_concurrency());
  auto start = std::chrono::steady_clock::now();
  std::unique_ptr<KorviLinker, LinkerDeleter> owned(korvi_link_new());
  if (!owned) throw std::bad_alloc();
  KorviLinker* linker = owned.get();

  uint64_t bad_lines = 0;
  load_side(linker, KORVI_LINK_LEFT, o.left, threads, o.quiet, bad_lines);
  load_side(linker, KORVI_LINK_RIGHT, o.right, threads, o.quiet, bad_lines);
  char* error = nullptr;
  if (korvi_link_set_min_shared_fields(linker, o.min_shared_fields, &error) != 0 ||
      korvi_link_set_fit_records(linker, o.fit_records, &error) != 0)
    throw UsageError(take_error(error));
  if (korvi_link_prepare(linker, o.blocking.c_str(), o.cap, o.seed, &error) != 0) throw UsageError(take_error(error));
  const uint32_t left_count = korvi_link_record_count(linker, KORVI_LINK_LEFT);
  const uint32_t right_count = korvi_link_record_count(linker, KORVI_LINK_RIGHT);
  const size_t fields = korvi_link_field_count(linker);

  Progress progress(!o.quiet && isatty(STDERR_FILENO), o.model.empty() ? 4 * int64_t{right_count} : right_count);
  uint64_t fitting_pairs = 0;
  if (!o.model.empty()) {
    std::string text = read_file(o.model);
    if (korvi_link_set_model(linker, text.c_str(), &error) != 0) throw UsageError(o.model + ": " + take_error(error));
  } else {
    const size_t patterns = korvi_link_pattern_count(linker);
    std::vector<std::vector<uint64_t>> counts(threads, std::vector<uint64_t>(patterns));
    std::vector<uint64_t> pairs_per_thread(threads);
    over_right(right_count, threads, progress, 0, [&](unsigned t, uint32_t begin, uint32_t end) {
      pairs_per_thread[t] += korvi_link_count_patterns(linker, begin, end, counts[t].data());
    });
    for (unsigned t = 1; t < threads; ++t)
      for (size_t p = 0; p < patterns; ++p) counts[0][p] += counts[t][p];
    for (uint64_t n : pairs_per_thread) fitting_pairs += n;
    const uint32_t flags = o.fix_u ? KORVI_LINK_FIX_U : 0;
    if (korvi_link_fit(linker, counts[0].data(), flags, &error) != 0) throw UsageError(take_error(error));
    // A second fit that knows each record is one person at most once.
    std::vector<std::vector<double>> best(threads, std::vector<double>(left_count, -HUGE_VAL));
    over_right(right_count, threads, progress, right_count, [&](unsigned t, uint32_t begin, uint32_t end) {
      korvi_link_best_left(linker, begin, end, best[t].data());
    });
    for (unsigned t = 1; t < threads; ++t)
      for (uint32_t l = 0; l < left_count; ++l) best[0][l] = std::max(best[0][l], best[t][l]);
    best.resize(1);
    for (auto& c : counts) c.assign(2 * patterns, 0);
    over_right(right_count, threads, progress, 2 * uint64_t{right_count}, [&](unsigned t, uint32_t begin, uint32_t end) {
      korvi_link_count_best_patterns(linker, begin, end, best[0].data(), counts[t].data());
    });
    for (unsigned t = 1; t < threads; ++t)
      for (size_t p = 0; p < 2 * patterns; ++p) counts[0][p] += counts[t][p];
    if (korvi_link_fit(linker, counts[0].data(), flags | KORVI_LINK_BEST_SPLIT, &error) != 0)
      throw UsageError(take_error(error));
  }
  Text model(korvi_link_model(linker));
  if (!model) throw std::bad_alloc();
  if (!o.save_model.empty()) write_file(o.save_model, std::string(model.get()) + "\n");

  std::vector<KorviLinkPair> pairs;
  std::mutex pairs_mutex;
  over_right(right_count, threads, progress, o.model.empty() ? 3 * uint64_t{right_count} : 0,
             [&](unsigned, uint32_t begin, uint32_t end) {
               size_t count = 0;
               KorviLinkPair* found = korvi_link_score(linker, begin, end, o.threshold, &count);
               if (found == nullptr) throw std::bad_alloc();
               std::lock_guard lock(pairs_mutex);
               pairs.insert(pairs.end(), found, found + count);
               korvi_free(found);
             });
  pairs.resize(korvi_link_assign(pairs.data(), pairs.size(), o.all_pairs ? 0 : 1));
  progress.clear();

  std::string out = "left_id,right_id,probability,match_weight";
  for (size_t f = 0; f < fields; ++f) {
    out.push_back(',');
    append_csv_field(out, korvi_link_field_name(linker, f), ',');
  }
  out.push_back('\n');
  char number[64];
  for (const KorviLinkPair& p : pairs) {
    append_csv_field(out, korvi_link_record_id(linker, KORVI_LINK_LEFT, p.left), ',');
    out.push_back(',');
    append_csv_field(out, korvi_link_record_id(linker, KORVI_LINK_RIGHT, p.right), ',');
    std::snprintf(number, sizeof number, ",%.6f,%.3f", p.probability, p.match_weight);
    out += number;
    for (size_t f = 0; f < fields; ++f) {
      out.push_back(',');
      out += kLevelNames[p.levels[f]];
    }
    out.push_back('\n');
  }
  if (o.output == "-") {
    if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size() || std::fflush(stdout) != 0)
      throw IoError(std::string("cannot write standard output: ") + std::strerror(errno));
  } else {
    write_file(o.output, out);
  }

  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!o.quiet) {
    Text summary(korvi_link_summary(linker));
    std::string facts = summary ? summary.get() : "";
    auto number_of = [&](const char* key) -> unsigned long long {
      size_t at = facts.find(std::string("\"") + key + "\":");
      return at == std::string::npos ? 0 : std::strtoull(facts.c_str() + at + std::strlen(key) + 3, nullptr, 10);
    };
    std::string m = model.get();
    size_t fb = m.find("\"fallback\":");
    std::string fallback = fb == std::string::npos ? "null" : m.substr(fb + 11, m.size() - fb - 12);
    if (!o.model.empty()) {
      std::fprintf(stderr, "korvi: model read from %s\n", o.model.c_str());
    } else if (fallback != "null") {
      std::fprintf(stderr, "korvi: the EM fit was refused (%s); default match probabilities used\n",
                   fallback.substr(1, fallback.size() - 2).c_str());
    } else {
      size_t it = m.find("\"iterations\":"), pr = m.find("\"prior\":");
      std::fprintf(stderr, "korvi: model fitted by EM on %llu pairs of %llu right records in %llu iterations (prior %.6g)\n",
                   static_cast<unsigned long long>(fitting_pairs), number_of("fit_records"),
                   std::strtoull(m.c_str() + it + 13, nullptr, 10), std::strtod(m.c_str() + pr + 8, nullptr));
    }
    const unsigned long long candidates = number_of("candidate_pairs");
    double all = static_cast<double>(left_count) * static_cast<double>(right_count);
    char ratio[32];
    std::snprintf(ratio, sizeof ratio, "%.6f", all > 0 ? 1 - static_cast<double>(candidates) / all : 0.0);
    std::string pairs_text = std::to_string(candidates) + " candidate pairs (reduction ratio " + ratio + "), ";
    std::fprintf(stderr,
                 "korvi: %u x %u records, %s%zu pairs written, %llu fingerprints left out of blocking (held by over %u "
                 "records), %llu bad lines (%.2f s, %.0f records/s)\n",
                 left_count, right_count, pairs_text.c_str(), pairs.size(), number_of("capped_fingerprints"),
                 static_cast<unsigned>(number_of("cap")), static_cast<unsigned long long>(bad_lines), seconds,
                 seconds > 0 ? (static_cast<double>(left_count) + static_cast<double>(right_count)) / seconds : 0.0);
  }
  if (!o.truth.empty()) {
    Evaluation e = evaluate(linker, o.truth, pairs);
    double precision = pairs.empty() ? 0 : static_cast<double>(e.found) / static_cast<double>(pairs.size());
    double recall = e.true_pairs == 0 ? 0 : static_cast<double>(e.found) / static_cast<double>(e.true_pairs);
    double f1 = precision + recall > 0 ? 2 * precision * recall / (precision + recall) : 0;
    std::fprintf(stderr,
                 "korvi: precision %.4f, recall %.4f, F1 %.4f (%llu of %llu true pairs found, %llu lost by blocking",
                 precision, recall, f1, static_cast<unsigned long long>(e.found),
                 static_cast<unsigned long long>(e.true_pairs), static_cast<unsigned long long>(e.lost_by_blocking));
    if (e.unknown_ids > 0)
      std::fprintf(stderr, ", %llu naming records in neither file", static_cast<unsigned long long>(e.unknown_ids));
    std::fputs(")\n", stderr);
  }
  return bad_lines == 0 ? kExitOk : kExitRejected;
}

}  // namespace korvi_cli
