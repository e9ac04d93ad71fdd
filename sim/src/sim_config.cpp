#include "omrix/sim/sim_config.h"

#include <cctype>
#include <charconv>
#include <limits>
#include <string_view>
#include <utility>

namespace omrix::sim {
namespace {

bool IsSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return text;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  for (;;) {
    const std::size_t at = text.find(separator);
    parts.push_back(text.substr(0, at));
    if (at == std::string_view::npos) return parts;
    text.remove_prefix(at + 1);
  }
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

// Accepts the whole text as an unsigned number in the given base, nothing else.
template <typename T>
std::optional<T> ParseUnsigned(std::string_view text, int base) {
  T value{};
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value, base);
  if (text.empty() || error != std::errc{} || stop != end) return std::nullopt;
  return value;
}

std::string_view WithoutHexPrefix(std::string_view text) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
    text.remove_prefix(2);
  return text;
}

std::optional<uint16_t> ParseHex16(std::string_view text) {
  const std::optional<uint32_t> value = ParseUnsigned<uint32_t>(WithoutHexPrefix(text), 16);
  if (!value || *value > 0xFFFF) return std::nullopt;
  return static_cast<uint16_t>(*value);
}

constexpr uint32_t kFlashSize = 0x80000;

std::optional<uint32_t> ParseFlashAddress(std::string_view text) {
  const std::optional<uint32_t> value = ParseUnsigned<uint32_t>(WithoutHexPrefix(text), 16);
  if (!value || *value >= kFlashSize) return std::nullopt;
  return value;
}

std::optional<FlashBit> ParseFlashBit(std::string_view text) {
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  const std::optional<uint32_t> address = ParseFlashAddress(Trim(text.substr(0, colon)));
  const std::optional<uint32_t> bit = ParseUnsigned<uint32_t>(Trim(text.substr(colon + 1)), 10);
  if (!address || !bit || *bit > 7) return std::nullopt;
  return FlashBit{*address, static_cast<uint8_t>(*bit)};
}

std::optional<std::vector<uint16_t>> ParseHexList(std::string_view text) {
  std::vector<uint16_t> list;
  for (const std::string_view rawItem : Split(text, ',')) {
    const std::string_view item = Trim(rawItem);
    if (item.empty()) continue;
    const std::optional<uint16_t> value = ParseHex16(item);
    if (!value) return std::nullopt;
    list.push_back(*value);
  }
  return list;
}

std::optional<int32_t> ParseCount(std::string_view text) {
  const std::optional<uint64_t> value = ParseUnsigned<uint64_t>(text, 10);
  if (!value || *value > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) {
    return std::nullopt;
  }
  return static_cast<int32_t>(*value);
}

bool SetDuration(uint32_t& field, std::string_view text) {
  const std::optional<uint32_t> value = ParseUnsigned<uint32_t>(text, 10);
  if (value) field = *value;
  return value.has_value();
}

// A plain decimal fraction from 0 to 1: no sign, exponent, inf or nan.
std::optional<double> ParseProbability(std::string_view text) {
  double value = 0.0;
  const char* end = text.data() + text.size();
  if (text.empty() || text.front() == '-') return std::nullopt;
  const auto [stop, error] = std::from_chars(text.data(), end, value, std::chars_format::fixed);
  if (error != std::errc{} || stop != end || !(value >= 0.0 && value <= 1.0)) return std::nullopt;
  return value;
}

struct Setting {
  const char* key;
  const char* expected;                                      // shown with a rejected value
  bool (*apply)(SimConfig& config, std::string_view value);  // false, and no change, on a bad value
};

const Setting kSettings[] = {
    {"ports", "a hex port list such as 378,278,3bc",
     [](SimConfig& c, std::string_view v) {
       auto list = ParseHexList(v);
       if (list) c.ports = std::move(*list);
       return list.has_value();
     }},
    {"board", "a hex port base or none",
     [](SimConfig& c, std::string_view v) {
       if (Lower(v) == "none") {
         c.board.reset();
         return true;
       }
       const auto base = ParseHex16(v);
       if (base) c.board = base;
       return base.has_value();
     }},
    {"bidir", "a hex port list, possibly empty",
     [](SimConfig& c, std::string_view v) {
       auto list = ParseHexList(v);
       if (!list) return false;
       c.bidir = std::move(list);
       return true;
     }},
    {"epp", "a hex port list, possibly empty",
     [](SimConfig& c, std::string_view v) {
       auto list = ParseHexList(v);
       if (!list) return false;
       c.epp = std::move(list);
       return true;
     }},
    {"settle", "a decimal count >= 0",
     [](SimConfig& c, std::string_view v) {
       const auto count = ParseCount(v);
       if (count) c.settle = *count;
       return count.has_value();
     }},
    {"settle_ps2", "a decimal count >= 0",
     [](SimConfig& c, std::string_view v) {
       const auto count = ParseCount(v);
       if (count) c.settlePs2 = *count;
       return count.has_value();
     }},
    {"ack", "0 or 1",
     [](SimConfig& c, std::string_view v) {
       if (v != "0" && v != "1") return false;
       c.ack = v == "1" ? 1 : 0;
       return true;
     }},
    // The clock advances only by accesses while the library polls a busy flash: at zero an
    // erase would wait for ever.
    {"access_ns", "a decimal number of nanoseconds above 0",
     [](SimConfig& c, std::string_view v) {
       const auto ns = ParseUnsigned<uint64_t>(v, 10);
       if (!ns || *ns == 0) return false;
       c.accessNs = *ns;
       return true;
     }},
    {"state", "a directory path",
     [](SimConfig& c, std::string_view v) {
       c.stateDir = std::string(v);
       return true;
     }},
    {"ram", "a file path",
     [](SimConfig& c, std::string_view v) {
       if (v.empty()) return false;
       c.ramFile = std::string(v);
       return true;
     }},
    {"program_us", "a decimal number of microseconds",
     [](SimConfig& c, std::string_view v) { return SetDuration(c.programUs, v); }},
    {"sector_erase_ms", "a decimal number of milliseconds",
     [](SimConfig& c, std::string_view v) { return SetDuration(c.sectorEraseMs, v); }},
    {"chip_erase_ms", "a decimal number of milliseconds",
     [](SimConfig& c, std::string_view v) { return SetDuration(c.chipEraseMs, v); }},
    {"fpga_reload_ms", "a decimal number of milliseconds",
     [](SimConfig& c, std::string_view v) { return SetDuration(c.fpgaReloadMs, v); }},
    {"flash_stuck", "a hex flash address below 80000",
     [](SimConfig& c, std::string_view v) {
       const auto address = ParseFlashAddress(v);
       if (address) c.flashStuck = address;
       return address.has_value();
     }},
    {"bad_bit", "a hex flash address below 80000, ':' and a bit number 0-7",
     [](SimConfig& c, std::string_view v) {
       const auto bit = ParseFlashBit(v);
       if (bit) c.badBit = bit;
       return bit.has_value();
     }},
    {"stuck_after", "a decimal count of port accesses",
     [](SimConfig& c, std::string_view v) {
       const auto count = ParseUnsigned<uint64_t>(v, 10);
       if (count) c.stuckAfter = count;
       return count.has_value();
     }},
    {"stuck_value", "a hex byte",
     [](SimConfig& c, std::string_view v) {
       const auto value = ParseHex16(v);
       if (!value || *value > 0xFF) return false;
       c.stuckValue = static_cast<uint8_t>(*value);
       return true;
     }},
    {"noise", "a decimal fraction from 0 to 1, such as 0.01",
     [](SimConfig& c, std::string_view v) {
       const auto probability = ParseProbability(v);
       if (probability) c.noise = *probability;
       return probability.has_value();
     }},
    {"seed", "a decimal number",
     [](SimConfig& c, std::string_view v) {
       const auto seed = ParseUnsigned<uint64_t>(v, 10);
       if (seed) c.seed = *seed;
       return seed.has_value();
     }},
    {"typecode", "a decimal number below 4294967296",
     [](SimConfig& c, std::string_view v) {
       const auto typecode = ParseUnsigned<uint32_t>(v, 10);
       if (typecode) c.typecode = *typecode;
       return typecode.has_value();
     }},
    {"patterns", "ok or broken",
     [](SimConfig& c, std::string_view v) {
       const std::string word = Lower(v);
       if (word != "ok" && word != "broken") return false;
       c.brokenPatterns = word == "broken";
       return true;
     }},
    {"erased", "0 or 1",
     [](SimConfig& c, std::string_view v) {
       if (v != "0" && v != "1") return false;
       c.erased = v == "1";
       return true;
     }},
};

std::string Quoted(std::string_view text) { return "'" + std::string(text) + "'"; }

}  // namespace

SimConfig ParseSimConfig(const std::string& text, std::vector<std::string>& errors) {
  SimConfig config;
  for (const std::string_view rawItem : Split(text, ';')) {
    const std::string_view item = Trim(rawItem);
    if (item.empty()) continue;
    const std::size_t equals = item.find('=');
    const std::string key =
        equals == std::string_view::npos ? "" : Lower(Trim(item.substr(0, equals)));
    if (key.empty()) {
      errors.push_back("OMRIX_SIM: item " + Quoted(item) + " is not key=value, ignored");
      continue;
    }
    const std::string_view value = Trim(item.substr(equals + 1));
    const Setting* setting = nullptr;
    for (const Setting& candidate : kSettings) {
      if (key == candidate.key) setting = &candidate;
    }
    if (!setting) {
      errors.push_back("OMRIX_SIM: unknown key " + Quoted(key) + " ignored");
      continue;
    }
    // A setting changes only when its whole value is good.
    if (!setting->apply(config, value)) {
      errors.push_back("OMRIX_SIM: bad value " + Quoted(value) + " for " + Quoted(key) +
                       " ignored (expected " + setting->expected + ")");
    }
  }
  return config;
}

}  // namespace omrix::sim
