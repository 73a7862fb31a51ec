// Text forms of attribute values and names for people and for JSON, and the
// parsing of values typed on the command line. Nothing here depends on the
// user's locale.
#pragma once

#include "Automation.h"
#include "ChunkedOut.h"
#include "UniqueBstr.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

class ValueText {
 public:
  using WStringView = std::basic_string_view<OLECHAR>;

  // The shortest decimal that reads back as the same double ("-0", "0.1",
  // "1e+300"); "NaN", "Infinity" and "-Infinity" for the rest.
  static std::string FormatDouble(double value);
  // The digits of an integer, and of a finite double as FormatDouble writes
  // it, made in place: a dump writes one per value.
  static void WriteNumber(int32_t value, ChunkedOut& out);
  static void WriteFinite(double value, ChunkedOut& out);
  // The calendar form of an automation date, 2023-03-15T06:00:00, with
  // ".mmm" when it is not a whole second; false outside the calendar range.
  static bool FormatIsoDate(double date, std::string& out);

  // The 64-bit pattern of a double as 16 hex digits, and back. Both work on
  // the double's memory: on 32-bit x86 a double that passes through the FPU
  // loses the signalling bit of a NaN.
  static std::string BitsHex(const double& value);
  static bool DoubleFromBitsHex(const std::string& hex, double& out);

  // UTF-16 code units as 4 hex digits each, and back.
  static std::string UnitsHex(const WString& text);
  static bool UnitsFromHex(const std::string& hex, WString& out);

  // UTF-8 for display: a surrogate that is not part of a pair becomes U+FFFD.
  static std::string Readable(const WString& text);
  // Writes the text in double quotes, with quotes, backslashes, control
  // characters and unpaired surrogates escaped (\" \\ \n \t \uXXXX), so that
  // every name shows unambiguously on one line.
  static void WriteQuoted(WStringView text, ChunkedOut& out);
  // Writes the text as the inside of a JSON string, exactly as nlohmann's
  // dump writes its readable form (U+FFFD for an unpaired surrogate), and
  // returns false when it held such a surrogate.
  static bool WriteJsonText(WStringView text, ChunkedOut& out);
  // Writes the UnitsHex form of the text.
  static void WriteUnitsHex(WStringView text, ChunkedOut& out);

  // Hands text to visit in pieces of at most a few thousand units, in order.
  // A surrogate pair is never parted, so every conversion here gives for the
  // pieces, one after the other, what it gives for the whole text, which
  // is never copied or converted whole.
  static void ForEachPiece(WStringView text, const std::function<void(const WString&)>& visit);

  // UTF-8 (or WTF-8) as a BSTR, converted in pieces so that a long text is
  // never held twice in UTF-16; false for bytes that are not such text.
  static bool BstrFromUtf8(const std::string& utf8, UniqueBstr& out);

  // The text of a value that is neither i4, r8 nor date, as the file would
  // store it, viewed in place when the value is text already and otherwise
  // converted into held; false when it has no text form.
  static bool TextOf(const VARIANT& value, WString& held, WStringView& out);

  // Command-line values. Each returns false with a reason for text that is
  // not a value of its type.
  static bool ParseI4(const std::string& text, int32_t& out, std::string& why);
  static bool ParseR8(const std::string& text, double& out, std::string& why);
  // ISO 8601 (2023-03-15, 2023-03-15T06:00, 2023-03-15T06:00:00.250, a space
  // instead of the T) or the automation date as a number of days.
  static bool ParseDate(const std::string& text, double& out, std::string& why);
  // The ISO 8601 form alone.
  static bool ParseIsoDate(const std::string& text, double& out, std::string& why);
};
