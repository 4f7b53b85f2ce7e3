#pragma once
// Package items and archives for the update tests, made with the package builder, and the
// progress the jobs post.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "PackageBuilder.h"
#include "ZipWriter.h"
#include "support/RecordingPoster.h"
#include "support/UpdateTestSupport.h"

namespace velmar::testing {

using Bytes = std::vector<uint8_t>;

// A valid format-101 item with one section of `length` pattern bytes at `address`.
inline Bytes Format101Item(uint32_t address, size_t length, uint32_t seed = 1) {
  pack::ItemSpec layout;
  pack::SectionSpec section;
  section.address = address;
  section.kind = 2;
  section.data = pack::SeededPattern(seed, length);
  layout.sections.push_back(section);
  std::string error;
  auto item = pack::BuildItem(layout, error);
  EXPECT_TRUE(item) << error;
  return item ? *item : Bytes{};
}

inline Bytes ZipOf(const ScratchDir& dir, const std::vector<pack::ZipItem>& items, bool store = false) {
  std::string error;
  const std::string path = dir.File("archive.zip");
  EXPECT_TRUE(pack::WriteZip(path, items, store, error)) << error;
  return ReadFileBytes(path);
}

// The offset of the first record with that signature in an archive, else npos.
inline size_t FindSignature(const Bytes& zip, uint32_t signature) {
  for (size_t i = 0; i + 4 <= zip.size(); ++i)
    if ((zip[i] | zip[i + 1] << 8 | zip[i + 2] << 16 | uint32_t{zip[i + 3]} << 24) == signature)
      return i;
  return std::string::npos;
}

inline void PutLe32(Bytes& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

inline std::vector<int32_t> ValuesOf(const std::vector<PostedEvent>& events, int32_t code) {
  std::vector<int32_t> values;
  for (const PostedEvent& e : events)
    if (e.event == code) values.push_back(e.value);
  return values;
}

// Percentages that only move forward, never 0, at most one per value, ending at 100.
inline void ExpectProgress(const std::vector<int32_t>& values) {
  ASSERT_FALSE(values.empty());
  EXPECT_LE(values.size(), 100u);
  EXPECT_GT(values.front(), 0);
  EXPECT_EQ(values.back(), 100);
  EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
  EXPECT_EQ(std::adjacent_find(values.begin(), values.end()), values.end());
}

}  // namespace velmar::testing
