// An english wpa table made from the CMU pronouncing dictionary of the pocketsphinx-en-us package.
#pragma once

#include <string>

constexpr const char* CMU_DICT_PATH = "/usr/share/pocketsphinx/model/en-us/cmudict-en-us.dict";

// The wpa text ("word<TAB>pa#pa" lines in byte order of the words) of a dictionary in the CMU
// format ("word PH ON ES", alternatives as "word(2)"): phones lower case joined by "_",
// alternatives in dictionary order. Empty when the file can't be read.
std::string cmuDictToWpa(const std::string& dictPath);
