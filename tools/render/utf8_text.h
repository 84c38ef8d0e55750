// Text from files that name no encoding (MIDI track names), made fit for a
// UTF-8 terminal: UTF-8 when it is valid UTF-8, else Latin-1, which older
// sequencers wrote and every byte of which is a character.
#pragma once

#include <string>
#include <string_view>

namespace orvo::render {

std::string toUtf8(std::string_view raw);
// Characters, not bytes: what lines up a table's columns.
size_t utf8Length(std::string_view text);
// At most `characters` characters, never cutting one in two.
std::string utf8Prefix(const std::string& text, size_t characters);

}  // namespace orvo::render
