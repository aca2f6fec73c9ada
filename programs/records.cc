// One output line per record:
//   {"record_id":"…","record_type":"…","name":[…],"address":[…],…}
// with "key_id":"…" after the record type when fingerprints are keyed.
// with each field's asset array spliced in exactly as the library returns it.
#include "records.h"

#include <korvi/korvi.h>

#include <array>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <nlohmann/json.hpp>

namespace korvi_cli {

const char kRejectsHeader[] = "line,reason,record\n";

namespace {

// A blank cell means the value is absent: such a field is written as []
// instead of being fingerprinted (an SSN of no digits would otherwise get
// the fingerprint of the empty text, shared by every record without one).
bool blank(const char* s) {
  for (; *s != 0; ++s)
    if (*s != ' ' && *s != '\t' && *s != '\r' && *s != '\n') return false;
  return true;
}

struct KorviFree {
  void operator()(char* p) const { korvi_free(p); }
};

void splice(std::string& out, char* assets) {
  std::unique_ptr<char, KorviFree> owned(assets);
  if (!owned) throw std::bad_alloc();
  out.append(owned.get());
}

std::string ascii_digits(std::string_view text) {
  std::string digits;
  for (char c : text)
    if (c >= '0' && c <= '9') digits.push_back(c);
  return digits;
}

// Trims what is neither an ASCII letter or digit nor part of a non-ASCII
// character from both ends: "' Ocie" reads "Ocie".
std::string trimmed_name(const char* value) {
  std::string_view v = value == nullptr ? std::string_view() : value;
  auto keep = [](char c) { return (static_cast<unsigned char>(c) & 0x80) != 0 || std::isalnum(static_cast<unsigned char>(c)); };
  size_t begin = 0, end = v.size();
  while (begin < end && !keep(v[begin])) ++begin;
  while (end > begin && !keep(v[end - 1])) --end;
  return std::string(v.substr(begin, end - begin));
}

void append_reject(Batch& batch, const Row& row, const std::string& reason, std::string_view record) {
  std::string& r = batch.rejects;
  r += std::to_string(row.line);
  r.push_back(',');
  append_csv_field(r, reason, ',');
  r.push_back(',');
  append_csv_field(r, record, ',');
  r.push_back('\n');
  ++batch.rejected;
}

// The record as it was read: CSV fields joined again, or the JSON line.
std::string original_record(const Batch& batch, const Row& row, bool csv, char delimiter) {
  if (row.too_long) return {};  // not kept; its line number tells where it is
  if (!csv) return std::string(batch.field(row.first));
  // A lone empty field is quoted, or the record would read as a blank line.
  if (row.count == 1 && batch.field(row.first).empty()) return "\"\"";
  std::string text;
  for (uint32_t i = 0; i < row.count; ++i) {
    if (i > 0) text.push_back(delimiter);
    append_csv_field(text, batch.field(row.first + i), delimiter);
  }
  return text;
}

class RecordWriter {
 public:
  RecordWriter(Batch& batch, const RecordContext& context) : batch_(batch), ctx_(context) {}

  void run() {
    for (const Row& row : batch_.rows) {
      std::string reason = ctx_.csv ? read_csv(row) : row.too_long ? too_long() : read_json(row);
      if (!reason.empty()) {
        append_reject(batch_, row, reason, original_record(batch_, row, ctx_.csv, ctx_.delimiter));
        continue;
      }
      write(row);
      ++batch_.written;
    }
  }

 private:
  std::string check_value(int slot, std::string_view value) const {
    if (std::memchr(value.data(), 0, value.size()) != nullptr)
      return "NUL byte in column \"" + ctx_.mapping.column[slot] + "\"";
    if (!valid_utf8(value)) return "invalid UTF-8 in column \"" + ctx_.mapping.column[slot] + "\"";
    return {};
  }

  std::string too_long() const {
    return "record over the size limit of " + std::to_string(ctx_.max_record_bytes) + " bytes (--max-record-size)";
  }

  // A slot fed by several columns: the values joined with one space.
  std::string join_more(int slot, std::string value, const std::vector<std::string_view>& more) {
    for (auto m : more) {
      value.push_back(' ');
      value.append(m);
    }
    owned_[slot] = std::move(value);
    value_[slot] = owned_[slot].c_str();
    return {};
  }

  std::string read_csv(const Row& row) {
    if (row.unterminated) return "unterminated quoted field";
    if (row.too_long) return too_long();
    if (row.count != ctx_.header_columns)
      return "wrong column count: " + std::to_string(row.count) + (row.count == 1 ? " field" : " fields") +
             ", header has " + std::to_string(ctx_.header_columns);
    for (int s = 0; s < kSlots; ++s) {
      int index = ctx_.mapping.index[s];
      if (index < 0) {
        value_[s] = nullptr;
        continue;
      }
      size_t field = row.first + static_cast<size_t>(index);
      std::string reason = check_value(s, batch_.field(field));
      if (!reason.empty()) return reason;
      value_[s] = batch_.c_field(field);
      if (!ctx_.mapping.more_index[s].empty()) {
        std::vector<std::string_view> more;
        for (size_t k = 0; k < ctx_.mapping.more_index[s].size(); ++k) {
          size_t extra = row.first + static_cast<size_t>(ctx_.mapping.more_index[s][k]);
          reason = check_value(s, batch_.field(extra));
          if (!reason.empty()) return reason;
          more.push_back(batch_.field(extra));
        }
        join_more(s, std::string(batch_.field(field)), more);
      }
    }
    return {};
  }

  std::string read_json(const Row& row) {
    std::string_view line = batch_.field(row.first);
    if (!valid_utf8(line)) return "invalid UTF-8";
    if (!json_depth_within(line, kMaxJsonDepth))
      return "arrays or objects nested deeper than " + std::to_string(kMaxJsonDepth) + " levels";
    auto doc = nlohmann::json::parse(line, nullptr, false);
    if (doc.is_discarded()) return "not valid JSON";
    if (!doc.is_object()) return "not a JSON object";
    for (int s = 0; s < kSlots; ++s) {
      value_[s] = nullptr;
      if (ctx_.mapping.column[s].empty()) continue;
      std::string joined;
      for (size_t k = 0; k <= ctx_.mapping.more_columns[s].size(); ++k) {
        const std::string& key = k == 0 ? ctx_.mapping.column[s] : ctx_.mapping.more_columns[s][k - 1];
        auto it = doc.find(key);
        if (it == doc.end()) return "missing column \"" + key + "\"";
        if (it->is_string()) {
          owned_[s] = it->get_ref<const std::string&>();
        } else if (it->is_number()) {
          owned_[s] = it->dump();
        } else if (it->is_null()) {
          owned_[s].clear();
        } else {
          return "column \"" + key + "\" is not a string or number";
        }
        std::string reason = check_value(s, owned_[s]);
        if (!reason.empty()) return reason;
        if (k > 0) joined.push_back(' ');
        joined += owned_[s];
      }
      if (!ctx_.mapping.more_columns[s].empty()) owned_[s] = std::move(joined);
      value_[s] = owned_[s].c_str();
    }
    return {};
  }

  bool present(int slot) const { return value_[slot] != nullptr && !blank(value_[slot]); }

  void write(const Row& row) {
    const char* type = ctx_.record_type.c_str();
    std::string number;
    const char* id = value_[kId];
    if (id == nullptr) {
      // Without an id column, records are numbered in input order.
      number = std::to_string(row.number);
      id = number.c_str();
    }
    std::string& out = batch_.out;
    out += "{\"record_id\":";
    append_json_string(out, id);
    out += ",\"record_type\":";
    append_json_string(out, ctx_.record_type);
    const korvi_key* key = ctx_.key;
    if (key != nullptr) {
      out += ",\"key_id\":\"";
      out += ctx_.key_id;
      out += '"';
    }
    for (int f = 0; f < kFields; ++f) {
      if (!ctx_.mapping.field_on[f]) continue;
      out += ",\"";
      out += kFieldKeys[f];
      out += "\":";
      switch (f) {
        case kName:
          if (!present(kFirst) && !present(kMiddle) && !present(kLast)) out += "[]";
          else
            write_name(out, type, id);
          break;
        case kAddressField:
          if (!present(kAddress)) out += "[]";
          else splice(out, key != nullptr ? assets_from_address_keyed(key, type, id, value_[kAddress])
                                          : assets_from_address(type, id, value_[kAddress]));
          break;
        case kCityStateZip:
          if (!present(kCity) && !present(kState) && !present(kZip)) out += "[]";
          else splice(out, key != nullptr
                               ? assets_from_city_state_zip_keyed(key, type, id, value_[kCity], value_[kState], value_[kZip])
                               : assets_from_city_state_zip(type, id, value_[kCity], value_[kState], value_[kZip]));
          break;
        case kEmailAddress:
          if (!present(kEmail)) out += "[]";
          else splice(out, key != nullptr ? assets_from_email_address_keyed(key, type, id, value_[kEmail])
                                          : assets_from_email_address(type, id, value_[kEmail]));
          break;
        case kSsnField:
          if (!present(kSsn)) out += "[]";
          else splice(out, key != nullptr ? assets_from_ssn_keyed(key, type, id, value_[kSsn])
                                          : assets_from_ssn(type, id, value_[kSsn]));
          break;
        case kPhoneNumber:
          if (!present(kPhone)) out += "[]";
          else if (std::string national = ctx_.phone_country.empty() ? std::string()
                                           : without_country_code(value_[kPhone], ctx_.phone_country);
                   !national.empty())
            splice(out, phone_assets(type, id, national.c_str()));
          else splice(out, phone_assets(type, id, value_[kPhone]));
          break;
        case kDateOfBirth:
          write_date(out, type, id);
          break;
      }
    }
    out += "}\n";
  }

  char* name_assets(const char* type, const char* id, const char* first, const char* middle,
                    const char* last) const {
    return ctx_.key != nullptr ? assets_from_name_keyed(ctx_.key, type, id, first, middle, last)
                               : assets_from_name(type, id, first, middle, last);
  }

  char* phone_assets(const char* type, const char* id, const char* phone) const {
    return ctx_.key != nullptr ? assets_from_phone_number_keyed(ctx_.key, type, id, phone)
                               : assets_from_phone_number(type, id, phone);
  }

  // A name whose stray punctuation or spaces cost it every asset (first name
  // "' Ocie") is tried once more with each part trimmed; a name that has
  // assets as written keeps them.
  void write_name(std::string& out, const char* type, const char* id) {
    const char* middle = present(kMiddle) ? value_[kMiddle] : nullptr;
    std::unique_ptr<char, KorviFree> first(name_assets(type, id, value_[kFirst], middle, value_[kLast]));
    if (!first) throw std::bad_alloc();
    if (std::strcmp(first.get(), "[]") == 0) {
      std::string f = trimmed_name(value_[kFirst]), m = trimmed_name(middle), l = trimmed_name(value_[kLast]);
      bool changed = (value_[kFirst] != nullptr && f != value_[kFirst]) || (middle != nullptr && m != middle) ||
                     (value_[kLast] != nullptr && l != value_[kLast]);
      if (changed) {
        std::unique_ptr<char, KorviFree> second(name_assets(
            type, id, value_[kFirst] ? f.c_str() : nullptr, middle && !m.empty() ? m.c_str() : nullptr,
            value_[kLast] ? l.c_str() : nullptr));
        if (!second) throw std::bad_alloc();
        if (std::strcmp(second.get(), "[]") != 0) {
          if (ctx_.counters) ++ctx_.counters->names_trimmed;
          out += second.get();
          return;
        }
      }
    }
    out += first.get();
  }

  // One fingerprint of the eight digits YYYYMMDD (through the library's
  // digits-only builder), or of the digits as written when the date does
  // not parse; no digits at all gives no asset.
  void write_date(std::string& out, const char* type, const char* id) {
    if (!present(kDob)) {
      out += "[]";
      return;
    }
    std::string digits = date_digits(value_[kDob], ctx_.day_first);
    if (digits.empty()) {
      if (ctx_.counters) ++ctx_.counters->dates_not_understood;
      digits = ascii_digits(value_[kDob]);
      if (digits.empty()) {
        out += "[]";
        return;
      }
    }
    std::unique_ptr<char, KorviFree> assets(ctx_.key != nullptr ? assets_from_ssn_keyed(ctx_.key, type, id, digits.c_str())
                                                               : assets_from_ssn(type, id, digits.c_str()));
    if (!assets) throw std::bad_alloc();
    // The builder names its field; the metadata is JSON with escaped
    // strings, so this exact text can only be that member.
    std::string text = assets.get();
    const std::string from = "\"field\":\"ssn\"", to = "\"field\":\"date_of_birth\"";
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
      text.replace(at, from.size(), to);
    out += text;
  }

  Batch& batch_;
  const RecordContext& ctx_;
  std::array<const char*, kSlots> value_{};
  std::array<std::string, kSlots> owned_;
};

}  // namespace

std::string date_digits(std::string_view text, bool day_first) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  std::vector<std::string_view> groups;
  char separator = 0;
  for (size_t i = 0; i < text.size();) {
    size_t j = i;
    while (j < text.size() && text[j] >= '0' && text[j] <= '9') ++j;
    if (j == i) return {};
    groups.push_back(text.substr(i, j - i));
    if (j == text.size()) break;
    char c = text[j];
    if ((c != '-' && c != '/' && c != '.') || (separator != 0 && c != separator)) return {};
    separator = c;
    i = j + 1;
    if (i == text.size()) return {};
  }
  std::string_view year, month, day;
  if (groups.size() == 1 && groups[0].size() == 8) {
    year = groups[0].substr(0, 4), month = groups[0].substr(4, 2), day = groups[0].substr(6, 2);
  } else if (groups.size() == 3 && groups[0].size() == 4 && separator != '.') {
    year = groups[0], month = groups[1], day = groups[2];
  } else if (groups.size() == 3 && groups[2].size() == 4) {
    bool dmy = separator == '.' || day_first;
    year = groups[2], month = groups[dmy ? 1 : 0], day = groups[dmy ? 0 : 1];
  } else {
    return {};
  }
  if (month.size() > 2 || day.size() > 2) return {};
  auto number = [](std::string_view digits) {
    int n = 0;
    for (char c : digits) n = n * 10 + (c - '0');
    return n;
  };
  int y = number(year), m = number(month), d = number(day);
  static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (y < 1000 || m < 1 || m > 12 || d < 1 || d > kDays[m - 1]) return {};
  if (m == 2 && d == 29 && !(y % 4 == 0 && (y % 100 != 0 || y % 400 == 0))) return {};
  char out[32];
  std::snprintf(out, sizeof out, "%04d%02d%02d", y, m, d);
  return out;
}

std::string without_country_code(std::string_view phone, const std::string& code) {
  std::string digits = ascii_digits(phone);
  size_t start = phone.find_first_not_of(" \t");
  bool plus = start != std::string_view::npos && phone[start] == '+';
  if (plus && digits.compare(0, code.size(), code) == 0) return digits.substr(code.size());
  if (digits.compare(0, 2 + code.size(), "00" + code) == 0) return digits.substr(2 + code.size());
  if (digits.size() > 10 && digits.compare(0, code.size(), code) == 0)
    return digits.substr(code.size());
  return {};
}

void process_batch(Batch& batch, const RecordContext& context) {
  batch.out.clear();
  batch.rejects.clear();
  batch.written = batch.rejected = 0;
  RecordWriter(batch, context).run();
}

}  // namespace korvi_cli
