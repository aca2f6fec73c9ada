// korvi: the command-line client of libkorvi's public C interface.
#include <CLI/CLI.hpp>
#include <korvi/korvi.h>

#include <cstdio>
#include <exception>
#include <new>

#include "cli.h"

namespace {

using korvi_cli::AssetsOptions;
using korvi_cli::LinkOptions;
using korvi_cli::TextOptions;

constexpr const char* kAssetsFooter = R"(Input: CSV (RFC 4180: a header row, quoted fields with commas, quotes and line
breaks) or JSON Lines (one object per line), from INPUT or standard input
("-"). A byte-order mark, CRLF line ends and a missing last line end are
fine; blank lines are skipped.

Mapping: each option names the input columns (JSON keys) of one field:
  --name first=FirstName,middle=MiddleName,last=LastName   (or First,Middle,Last
         or First,Last)
  --city-state-zip City,State,Zip   (or city=..,state=..,zip=..)
  --address Street  --email Email  --ssn SSN  --phone Phone  --dob Birth
  --id CustomerId
--address, --email, --ssn, --phone and --dob take several columns too
(--address Number,Street): their values are joined with one space.
A field that no option maps is taken from a column with a common name
(first_name, FirstName, last_name, surname, address, street, city, state, zip,
email, ssn, phone, dob, id, customer_id, ...) unless --no-guess is given. Without
an id column, records are numbered from 1 in input order.

Output: one JSON line per record, in input order:
  {"record_id":"...","record_type":"person","name":[...],"address":[...],
   "city_state_zip":[...],"email_address":[...],"ssn":[...],"phone_number":[...],
   "date_of_birth":[...]}
with only the mapped fields, each array exactly as the library's assets_from_*
function returns it. A blank value gives []. A date of birth (YYYY-MM-DD,
YYYYMMDD, MM/DD/YYYY or with --dob-order dmy DD/MM/YYYY, DD.MM.YYYY) is
fingerprinted as its eight digits YYYYMMDD; one that does not parse, from
its digits as written (counted in the summary).

Keys: with --key-file FILE or --key-env NAME (32 to 2048 hex digits, as
"korvi keygen" writes them) every fingerprint is keyed, and each line carries
"key_id":"<16 hex digits>" after "record_type". Only holders of the same key
can compute matching fingerprints; compare key ids, never keys.

Rejects: a record that cannot be processed (wrong column count, invalid UTF-8
or a NUL byte in a mapped column, a missing key, a line that is not a JSON
object, an unterminated quoted field) is written as CSV "line,reason,record"
to the rejects file (standard error by default), with the line on which it
starts and the record as it was read.

Shards: --shard I/N writes only records T*(I-1)/N+1 to T*I/N (rounded down) of
the T records of INPUT, counted in a first pass over the file and numbered as
in the whole input, so the N outputs joined in order are the output of one run.

Exit status: 0 every record written, 1 some rejected, 2 usage or I/O error.)";

constexpr const char* kLinkFooter = R"(Input: two outputs of `korvi assets` (JSON Lines), made with the same key or
both without one. Fields are compared by the best overlap of their
fingerprint sets over all pairs of variants, graded exact, strong, weak, none
or missing. Candidate pairs share fingerprints in at least --min-shared
blocking fields, or one fingerprint no other left record holds (fingerprints
held by more than --cap left records are left out of blocking).
A Fellegi-Sunter model is fitted without labels: u from random pairs as a
start, then m, u and the share of matches by expectation-maximisation on the
pairs sharing any blocking fingerprint, over a sample of about --fit-records
right records; a fit that degenerates falls back to default probabilities.

Output: CSV "left_id,right_id,probability,match_weight" and one level column
per field, one row per pair whose match probability reaches --threshold; by
default each record is in at most one pair (greedy, best pairs first).
--truth FILE (CSV: left_id,right_id after a header row) prints precision,
recall, F1 and the true pairs that blocking never compared.

Bad or truncated input lines are reported on standard error with their line
number and left out.

Exit status: 0 every line read, 1 some lines bad, 2 usage or I/O error (files
made with different keys included).)";

// A key is named by a file or an environment variable, never given itself.
void add_key_options(CLI::App* sub, korvi_cli::KeyOptions& key) {
  CLI::Option* file = sub->add_option("--key-file", key.file, "keyed fingerprints with the key in FILE (32 to 2048 hex digits)")
      ->type_name("FILE");
  sub->add_option("--key-env", key.env, "keyed fingerprints with the key in the environment variable NAME")
      ->type_name("NAME")
      ->excludes(file);
}

void add_text_options(CLI::App* sub, TextOptions& o, bool fingerprint_flags) {
  sub->add_option("--mode", o.mode, "cleaning mode: text, code (keeps punctuation) or digits")
      ->type_name("MODE")
      ->check(CLI::IsMember({"text", "code", "digits"}))
      ->capture_default_str();
  if (fingerprint_flags) {
    sub->add_flag("--tiled", o.tiled, "side-by-side tiles instead of sliding windows");
    sub->add_flag("--short", o.short_form, "16 hex digits instead of 64");
    sub->add_flag("--raw", o.raw, "fingerprints back to back, no JSON");
    sub->add_flag("--boolean", o.boolean, "each text is a boolean expression");
    sub->add_flag("--parse-only", o.parse_only, "with --boolean: the bare expression tree");
  }
  sub->add_option("TEXT", o.texts, "texts; without any (or with -), one per line from standard input");
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"korvi: salted fingerprints of personal identifiers", "korvi"};
  app.require_subcommand(1);
  app.set_version_flag("--version", [] {
    return std::string("korvi ") + korvi_version();
  });

  AssetsOptions assets;
  CLI::App* assets_cmd = app.add_subcommand("assets", "fingerprint the personal fields of CSV or JSON Lines records");
  assets_cmd->add_option("INPUT", assets.input, "input file, or - for standard input")
      ->type_name("FILE")
      ->capture_default_str();
  assets_cmd->add_option("-o,--output", assets.output, "output file, or - for standard output")
      ->type_name("FILE")
      ->capture_default_str();
  assets_cmd->add_option("--rejects", assets.rejects, "file for rejected records (default: standard error; - for standard output)")
      ->type_name("FILE");
  assets_cmd->add_option("--format", assets.format, "csv or jsonl (default: jsonl for *.jsonl, *.ndjson, *.json, else csv)")
      ->type_name("FORMAT")
      ->check(CLI::IsMember({"csv", "jsonl"}));
  assets_cmd->add_option("--delimiter", assets.delimiter, "CSV field separator (one character, or tab)")
      ->type_name("CHAR")
      ->capture_default_str();
  assets_cmd->add_option("--name", assets.name, "columns of the name: first=A,middle=B,last=C")->type_name("COLUMNS");
  assets_cmd->add_option("--address", assets.address, "column of the street address")->type_name("COLUMN");
  assets_cmd->add_option("--city-state-zip", assets.city_state_zip, "columns of city, state and ZIP code: City,State,Zip")->type_name("COLUMNS");
  assets_cmd->add_option("--email", assets.email, "column of the e-mail address")->type_name("COLUMN");
  assets_cmd->add_option("--ssn", assets.ssn, "column of the social-security number")->type_name("COLUMN");
  assets_cmd->add_option("--phone", assets.phone, "column of the phone number")->type_name("COLUMN");
  assets_cmd->add_option("--dob", assets.dob, "column of the date of birth")->type_name("COLUMN");
  assets_cmd->add_option("--dob-order", assets.dob_order, "how a date NN/NN/YYYY reads: mdy or dmy")
      ->type_name("ORDER")
      ->capture_default_str();
  assets_cmd->add_option("--phone-country", assets.phone_country,
                         "drop this country calling code from the front of phone numbers")
      ->type_name("CODE");
  assets_cmd->add_option("--id", assets.id, "column of the record id")->type_name("COLUMN");
  assets_cmd->add_option("--record-type", assets.record_type, "record type written into every asset")
      ->type_name("TYPE")
      ->capture_default_str();
  assets_cmd->add_flag("--no-guess", assets.no_guess, "map only the columns named by options");
  assets_cmd->add_option("-j,--threads", assets.threads, "worker threads (default: one per core)")
      ->type_name("N")
      ->check(CLI::Range(0u, 1024u).description(""));
  assets_cmd->add_option("--batch-size", assets.batch_records, "records per batch")
      ->check(CLI::Range(size_t{1}, size_t{1} << 20))
      ->group("");  // a tuning knob for tests, not for users
  assets_cmd->add_option("--max-record-size", assets.max_record_bytes,
                         "reject larger records (bytes, or 64K, 64M, 1G; each CSV field counts 16 more)")
      ->type_name("SIZE")
      ->transform(CLI::AsSizeValue(false).description(""))
      ->check(CLI::Validator(
          [](std::string& bytes) { return bytes == "0" ? std::string("give at least 1 byte") : std::string(); }, ""))
      ->default_str("16M");
  assets_cmd->add_flag("-q,--quiet", assets.quiet, "no progress bar and no summary");
  add_key_options(assets_cmd, assets.key);
  assets_cmd->add_option("--shard", assets.shard, "only the I-th of N equal runs of records (a file, read twice)")
      ->type_name("I/N");
  assets_cmd->add_option("--decompress", assets.decompress, "read INPUT as gz, zst or none (default: by its name, *.gz or *.zst)")
      ->type_name("FORMAT")
      ->check(CLI::IsMember({"gz", "zst", "none"}));
  assets_cmd->add_option("--compression-level", assets.compression_level,
                         "gzip 1-9 or zstd 1-19 for a compressed output (default 1, the fastest)")
      ->type_name("N")
      ->check(CLI::Range(1, 19));
  assets_cmd->add_option("--compress", assets.compress, "write the output as gz, zst or none (default: by its name, *.gz or *.zst)")
      ->type_name("FORMAT")
      ->check(CLI::IsMember({"gz", "zst", "none"}));
  assets_cmd->footer(kAssetsFooter);

  LinkOptions link;
  CLI::App* link_cmd = app.add_subcommand("link", "pairs of records of two assets files that are the same person");
  link_cmd->add_option("LEFT", link.left, "assets of the first party (JSON Lines), or -")->type_name("FILE")->required();
  link_cmd->add_option("RIGHT", link.right, "assets of the second party (JSON Lines), or -")->type_name("FILE")->required();
  link_cmd->add_option("-o,--output", link.output, "pairs file (CSV), or - for standard output")
      ->type_name("FILE")
      ->capture_default_str();
  link_cmd->add_option("--blocking", link.blocking, "fields whose fingerprints make candidate pairs (default: all but city_state_zip)")
      ->type_name("FIELDS");
  link_cmd->add_option("--cap", link.cap, "leave out of blocking the fingerprints of more than N left records")
      ->type_name("N")
      ->check(CLI::Range(1u, 100000000u).description(""))
      ->capture_default_str();
  link_cmd->add_option("--min-shared", link.min_shared_fields,
                       "blocking fields in which a candidate pair shares a fingerprint (1: any shared fingerprint)")
      ->type_name("N")
      ->check(CLI::Range(1u, 8u).description(""))
      ->capture_default_str();
  link_cmd->add_option("--fit-records", link.fit_records, "fit the model on a sample of about N right records")
      ->type_name("N")
      ->check(CLI::Range(1u, 4000000000u).description(""))
      ->capture_default_str();
  link_cmd->add_option("--threshold", link.threshold, "lowest match probability of a pair written")
      ->type_name("P")
      ->capture_default_str();
  link_cmd->add_flag("--all", link.all_pairs, "every pair over the threshold, not one pair per record");
  link_cmd->add_option("--model", link.model, "read the model from FILE instead of fitting it")->type_name("FILE");
  link_cmd->add_option("--save-model", link.save_model, "write the model used to FILE (JSON)")->type_name("FILE");
  link_cmd->add_option("--truth", link.truth, "CSV of true pairs: print precision, recall and F1")->type_name("FILE");
  link_cmd->add_option("--seed", link.seed, "seed of the random pairs and of the fitting sample")->type_name("N")->capture_default_str();
  link_cmd->add_flag("--fix-u", link.fix_u, "keep u from random pairs during the fit")->group("");
  link_cmd->add_option("-j,--threads", link.threads, "worker threads (default: one per core)")
      ->type_name("N")
      ->check(CLI::Range(0u, 1024u).description(""));
  link_cmd->add_flag("-q,--quiet", link.quiet, "no progress bar and no summary");
  link_cmd->footer(kLinkFooter);

  TextOptions fp;
  CLI::App* fp_cmd = app.add_subcommand("fingerprint", "fingerprints of texts, one JSON line each");
  add_text_options(fp_cmd, fp, true);
  add_key_options(fp_cmd, fp.key);
  fp_cmd->footer("Exit status: 0 every text fingerprinted, 1 some too short, not valid UTF-8\n"
                 "or not a valid expression, 2 usage or I/O error.");

  TextOptions clean;
  CLI::App* clean_cmd = app.add_subcommand("clean", "texts in the cleaned form that fingerprints are taken from");
  add_text_options(clean_cmd, clean, false);
  clean_cmd->footer("Exit status: 0 every text cleaned, 1 some not valid UTF-8 (an empty line is\n"
                    "written for each), 2 usage or I/O error.");

  korvi_cli::KeygenOptions keygen;
  CLI::App* keygen_cmd = app.add_subcommand("keygen", "a new random key: 64 hex digits");
  keygen_cmd->add_option("-o,--output", keygen.output, "key file to create (mode 0600, never overwritten), or - for standard output")
      ->type_name("FILE")
      ->capture_default_str();

  korvi_cli::KeyOptions key_id;
  CLI::App* key_id_cmd = app.add_subcommand("key-id", "the id of a key: 16 hex digits, safe to show and compare");
  add_key_options(key_id_cmd, key_id);

  CLI::App* version_cmd = app.add_subcommand("version", "library version, Unicode data version and SHA-512 implementation");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    korvi_cli::print_error(e.what());
    CLI::App* used = &app;
    for (CLI::App* sub : {assets_cmd, link_cmd, fp_cmd, clean_cmd, keygen_cmd, key_id_cmd, version_cmd})
      if (sub->parsed()) used = sub;
    std::string hint = used == &app ? "korvi --help" : "korvi " + used->get_name() + " --help";
    std::fprintf(stderr, "Run '%s' for usage.\n", hint.c_str());
    return korvi_cli::kExitError;
  }

  try {
    if (assets_cmd->parsed()) return korvi_cli::run_assets(assets);
    if (link_cmd->parsed()) return korvi_cli::run_link(link);
    if (fp_cmd->parsed()) return korvi_cli::run_fingerprint(fp);
    if (clean_cmd->parsed()) return korvi_cli::run_clean(clean);
    if (keygen_cmd->parsed()) return korvi_cli::run_keygen(keygen);
    if (key_id_cmd->parsed()) return korvi_cli::run_key_id(key_id);
    return korvi_cli::run_version();
  } catch (const korvi_cli::UsageError& e) {
    korvi_cli::print_error(e.what());
  } catch (const korvi_cli::IoError& e) {
    korvi_cli::print_error(e.what());
  } catch (const std::bad_alloc&) {
    korvi_cli::print_error("out of memory");
  } catch (const std::exception& e) {
    korvi_cli::print_error(e.what());
  }
  return korvi_cli::kExitError;
}
