// tests/engine/inclusion_test.cpp: the lists' zone comparison against the zones' own relation,
// on random zones in full and packed form.
#include "engine/inclusion.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "tests/support/zone_builder.h"

namespace {

TEST(InclusionTest, AgreesWithTheZoneRelationInBothForms) {
  ClockScope clocks(3);
  const int dim = ClockInfo::count();
  std::mt19937 random(7);
  // Few bounds with small constants, so that many pairs are related by inclusion.
  std::vector<ZonePtr> zones;
  for (int k = 0; k < 60; ++k) zones.push_back(randomZone(random, dim, k % 4, 3));
  std::vector<Signature> sa(dim), sb(dim);
  UnpackedZone* scratch = nullptr;  // the comparison's work space, made on first use
  for (std::int32_t clamp : {1 << 23, 9, 1}) {
    int related = 0;
    for (auto& a : zones) {
      PackedPtr packed(a->pack());
      zoneSignature(a.get(), clamp, sa.data());
      for (auto& b : zones) {
        zoneSignature(b.get(), clamp, sb.data());
        int expected = a->relation(b.get());
        related += expected != Zone::noInclusion;
        EXPECT_EQ(compareZones(a.get(), sa.data(), b.get(), sb.data(), scratch), expected);
        EXPECT_EQ(compareZones(a.get(), nullptr, b.get(), nullptr, scratch), expected);
        // A packed zone answers "inside" for an equal zone as well.
        int packedExpected = expected == Zone::equal ? Zone::argIncludedIn : expected;
        EXPECT_EQ(compareZones(packed.get(), sa.data(), b.get(), sb.data(), scratch), packedExpected);
        EXPECT_EQ(packed->relation(b.get()), packedExpected);
      }
    }
    EXPECT_GT(related, 200) << "the sample should exercise inclusion, not only its absence";
  }
  delete scratch;
}

TEST(CompareMatrices, HandlesLengthsThatAreNotMultiplesOfFour) {
  std::vector<std::int32_t> a{1, 1, 1, 1, 1, 1, 1}, b = a;
  EXPECT_EQ(compareMatrices(a.data(), b.data(), 7), Zone::equal);
  b[6] = 3;
  EXPECT_EQ(compareMatrices(a.data(), b.data(), 7), Zone::argIncludes);
  a[0] = 5;
  EXPECT_EQ(compareMatrices(a.data(), b.data(), 7), Zone::noInclusion);
  EXPECT_EQ(compareMatrices(a.data(), b.data(), 1), Zone::argIncludedIn);
  EXPECT_EQ(compareMatrices(a.data(), b.data(), 0), Zone::equal);
}

}  // namespace
