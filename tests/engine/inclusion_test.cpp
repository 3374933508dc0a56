// tests/engine/inclusion_test.cpp: the lists' zone comparison against the zones' own relation,
// on random zones in full and packed form.
#include "engine/inclusion.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "engine_fixture.h"

using namespace engine_test;

namespace {

class InclusionTest : public EngineTest {
protected:
  InclusionTest() { load("clock x, y, z;\nprocess P { state A; init A; }\nsystem P;\n"); }

  // A random closed non-empty zone: a few random bounds with small constants, so that many
  // pairs are related by inclusion.
  UnpackedZone* randomZone(std::mt19937& random) {
    int dim = ClockInfo::count();
    for (;;) {
      UnpackedZone* zone = UnpackedZone::create(dim, true);
      int tightenings = int(random() % 4);
      for (int k = 0; k < tightenings; ++k) {
        int i = int(random() % dim), j = int(random() % dim);
        if (i == j) continue;
        int c = int(random() % 4) - (i == 0 ? 3 : 0);
        zone->tighten(i, j, c, random() % 2 == 0);
      }
      zone->close();
      if (!zone->isEmpty()) return zone;
      delete zone;
    }
  }
};

TEST_F(InclusionTest, AgreesWithTheZoneRelationInBothForms) {
  std::mt19937 random(7);
  std::vector<std::unique_ptr<UnpackedZone>> zones;
  for (int k = 0; k < 60; ++k) zones.emplace_back(randomZone(random));
  int dim = ClockInfo::count();
  std::vector<Signature> sa(dim), sb(dim);
  UnpackedZone* scratch = nullptr;  // the comparison's work space, made on first use
  for (std::int32_t clamp : {1 << 23, 9, 1}) {
    int related = 0;
    for (auto& a : zones) {
      std::unique_ptr<PackedZone> packed(a->pack());
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
