// One output line per record:
//   {"record_id":"…","record_type":"…","name":[…],"address":[…],…}
// with "key_id":"…" after the record type when fingerprints are keyed.
// with each field's asset array spliced in exactly as the library returns it.
#include "records.h"

#include <korvi/korvi.h>

#include <array>
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
  if (!csv) return std::string(batch.field(row.first));
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
      std::string reason = ctx_.csv ? read_csv(row) : read_json(row);
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

  std::string read_csv(const Row& row) {
    if (row.unterminated) return "unterminated quoted field";
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
    }
    return {};
  }

  std::string read_json(const Row& row) {
    std::string_view line = batch_.field(row.first);
    if (!valid_utf8(line)) return "invalid UTF-8";
    auto doc = nlohmann::json::parse(line, nullptr, false);
    if (doc.is_discarded()) return "not valid JSON";
    if (!doc.is_object()) return "not a JSON object";
    for (int s = 0; s < kSlots; ++s) {
      value_[s] = nullptr;
      const std::string& key = ctx_.mapping.column[s];
      if (key.empty()) continue;
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
            splice(out, key != nullptr
                            ? assets_from_name_keyed(key, type, id, value_[kFirst],
                                                     present(kMiddle) ? value_[kMiddle] : nullptr, value_[kLast])
                            : assets_from_name(type, id, value_[kFirst],
                                               present(kMiddle) ? value_[kMiddle] : nullptr, value_[kLast]));
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
          else splice(out, key != nullptr ? assets_from_phone_number_keyed(key, type, id, value_[kPhone])
                                          : assets_from_phone_number(type, id, value_[kPhone]));
          break;
      }
    }
    out += "}\n";
  }

  Batch& batch_;
  const RecordContext& ctx_;
  std::array<const char*, kSlots> value_{};
  std::array<std::string, kSlots> owned_;
};

}  // namespace

void process_batch(Batch& batch, const RecordContext& context) {
  batch.out.clear();
  batch.rejects.clear();
  batch.written = batch.rejected = 0;
  RecordWriter(batch, context).run();
}

}  // namespace korvi_cli
