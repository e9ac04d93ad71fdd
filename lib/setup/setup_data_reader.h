// Reading "omrix.dat": the section search, value lines with their line limits, and the
// conversions. Every reader of the file is built from these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "core/library_state.h"
#include "setup/setup_data_writer.h"

namespace omrix {

inline constexpr const char* kSetupDataFileName = "omrix.dat";

// Longest line, line end included, that each kind of line is read as.
inline constexpr std::size_t kHeadLineLimit = 89;
inline constexpr std::size_t kNumberLineLimit = 99;
inline constexpr std::size_t kPathLineLimit = 399;

// Capacity of the init-section texts, terminator excluded.
inline constexpr std::size_t kInitTextCapacity = 99;

inline constexpr const char* kInitEntryCodeHead = "#init_entrycode";
inline constexpr const char* kInitDataHead = "#init_data";
inline constexpr const char* kSetupDataHead = "#setup_data";
inline constexpr const char* kRunDataHead = "#run_data";
inline constexpr const char* kFlashContentHead = "#flash_content";

// One line as its limit lets the reader see it. A longer line is consumed whole, but only its
// first `limit` characters are visible; `cut` says the rest was dropped.
struct ValueLine {
  std::string visible;
  bool cut = false;
};

// Conversions of a value line. Each returns false, leaving `value` unchanged, when the line
// holds no value or the value cannot be converted or does not fit.
bool ConvertText(const ValueLine& line, std::size_t capacity, std::string& value);
bool ConvertPath(const ValueLine& line, std::size_t capacity, std::string& value);
bool ConvertHex(const ValueLine& line, std::uint32_t& value);
bool ConvertDecimal(const ValueLine& line, std::uint32_t& value);

class SetupDataReader {
 public:
  explicit SetupDataReader(std::string text) : text_(std::move(text)) {}

  // Searches on from the current position for a line that begins with `head` (ASCII case
  // ignored, the rest of the line ignored). False when the text ends first.
  bool FindSection(const char* head);

  // The next line, or nothing at the end of the text (a file that ends inside a section).
  std::optional<ValueLine> NextLine(std::size_t limit);

  // One value line each; the field keeps its value when the line is missing or unconvertible.
  void ReadText(std::size_t limit, std::size_t capacity, std::string& field);
  void ReadPath(std::size_t limit, std::size_t capacity, std::string& field);
  void ReadHex(std::size_t limit, std::uint32_t& field);
  void ReadDecimal(std::size_t limit, std::uint32_t& field);
  void SkipLine(std::size_t limit) { NextLine(limit); }

 private:
  std::string text_;
  std::size_t position_ = 0;
};

// Reads the five sections in their order into `record`, whose values stand as the defaults of
// what is missing or cannot be converted. Returns how many sections were found (5: all); the
// visible text of the entry-code line goes to `entryCodeLine`.
int ParseSetupData(const std::string& text, SetupDataRecord& record,
                   std::string* entryCodeLine = nullptr);
inline constexpr int kSetupDataSections = 5;

// The whole "omrix.dat" of the library directory; false when it cannot be opened or read, or
// is far too large to be one.
bool LoadSetupDataText(std::string& text);

}  // namespace omrix
