// cdd/zone_cdd.cpp: zones to and from clock decision diagrams.
#include "cdd/zone_cdd.h"

CddMatrix* copyToMatrix(const UnpackedZone& zone, CddMatrix* d) {
  const int dim = zone.dimension();
  for (int i = 0; i < dim; ++i)
    for (int j = 0; j < dim; ++j) {
      std::int32_t raw = zone.at(i, j);
      d->set(i, j, isInfinite(raw) ? CddMatrix::infinity : raw);
    }
  return d;
}

namespace {

// A matrix that goes with its scope, also when a diagram operation throws.
struct MatrixDeleter {
  void operator()(CddMatrix* d) const { CddMatrix::destroy(d); }
};
using MatrixPtr = std::unique_ptr<CddMatrix, MatrixDeleter>;

}  // namespace

Cdd cddOf(const UnpackedZone& zone) {
  MatrixPtr d(CddMatrix::create(zone.dimension()));
  copyToMatrix(zone, d.get());
  // A closed zone gives a closed matrix; only a zone with pending tightenings needs the work.
  if (zone.isDirty()) d->close();
  return Cdd::fromDBM(d.get());
}

namespace {

void collectZone(const CddMatrix* zone, void* context) {
  auto* zones = static_cast<std::vector<std::unique_ptr<UnpackedZone>>*>(context);
  const int dim = zone->dimension();
  std::unique_ptr<UnpackedZone> copy(UnpackedZone::create(dim, false));
  for (int i = 0; i < dim; ++i)
    for (int j = 0; j < dim; ++j) copy->at(i, j) = zone->get(i, j);
  zones->push_back(std::move(copy));
}

}  // namespace

std::vector<std::unique_ptr<UnpackedZone>> zonesOf(const Cdd& diagram) {
  std::vector<std::unique_ptr<UnpackedZone>> zones;
  const int dim = Cdd::clockCount();
  if (dim <= 0 || diagram.isNull() || diagram.isFalse()) return zones;
  std::unique_ptr<UnpackedZone> start(UnpackedZone::create(dim, true));
  MatrixPtr d(CddMatrix::create(dim));
  copyToMatrix(*start, d.get());
  d->close();
  Cdd::forEachZone(diagram, d.get(), collectZone, &zones);
  return zones;
}
