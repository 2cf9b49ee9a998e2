// JSON written straight into a string, for the answers too big to build as a
// tree first (a page of /api/get holds thousands of items). What it writes is
// what nlohmann::json's dump() writes for the same values: no spaces, strings
// as UTF-8 with only '"', '\' and the control characters escaped ("\n", then
// "\u001f" for those without a short form), so the answers read the same to
// a client whichever way they were made.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Appends utf8 as a JSON string, quoted and escaped.
// REQUIRES: utf8 is valid UTF-8 (the conversions' output, or a parsed request's).
void append_json_string(std::string* out, std::string_view utf8);

// Appends the key of an object's member, "name": and the comma before it
// unless it is the object's first.
// REQUIRES: name needs no escaping; out ends in the object's '{' or a member.
void append_json_key(std::string* out, std::string_view name);

void append_json_number(std::string* out, int64_t n);
void append_json_bool(std::string* out, bool b);
