#pragma once
// Byte-string helpers for the documents, the record and the version names.

#include <cstddef>
#include <string>
#include <vector>

// Every occurrence of search (not empty) replaced; the inserted text is never searched again.
std::string ReplaceAll(const std::string& source, const std::string& search,
                       const std::string& replacement);

// Skips leading delimiter characters, then cuts at every occurrence of the whole delimiter;
// empty pieces are dropped.
std::vector<std::string> SplitString(const std::string& text, const std::string& delimiter);

// True when both texts name the same digest: equal byte for byte except that ASCII letters
// match in either case (hex digests are printed both ways). Neither may be empty, since an
// empty digest means none could be made.
bool SameDigest(const std::string& a, const std::string& b);

// The bytes as lower-case hex digits, two per byte: how digests are written in documents and logs.
std::string LowerHex(const unsigned char* bytes, size_t size);
