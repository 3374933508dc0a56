// cdd/zone_cdd.cpp: zones to and from clock decision diagrams.
#include "cdd/cdd.h"
#include "base/error.h"
#include "zones/zone.h"

_dbm_* UnpackedRegion::asDBM(_dbm_* d) const {
  for (int i = 0; i < dim_; ++i)
    for (int j = 0; j < dim_; ++j) {
      std::int32_t raw = at(i, j);
      d->set(i, j, isInfinite(raw) ? _dbm_::infinity : raw);
    }
  return d;
}

cdd UnpackedRegion::asCDD() const {
  _dbm_* d = _dbm_::create(dim_);
  asDBM(d);
  // A closed zone gives a closed matrix; only a zone with pending tightenings needs the work.
  if (isDirty()) d->close();
  cdd result = cdd::fromDBM(d);
  _dbm_::destroy(d);
  return result;
}

namespace {

void collectZone(const _dbm_* zone, void* context) {
  auto* zones = static_cast<std::vector<std::unique_ptr<UnpackedRegion>>*>(context);
  const int dim = zone->dimension();
  std::unique_ptr<UnpackedRegion> copy(UnpackedRegion::create(dim, false));
  for (int i = 0; i < dim; ++i)
    for (int j = 0; j < dim; ++j) copy->at(i, j) = zone->get(i, j);
  zones->push_back(std::move(copy));
}

}  // namespace

std::vector<std::unique_ptr<UnpackedRegion>> UnpackedRegion::zonesOf(const cdd& diagram) {
  std::vector<std::unique_ptr<UnpackedRegion>> zones;
  const int dim = cdd::clockCount();
  if (dim <= 0 || diagram.isNull() || diagram.isFalse()) return zones;
  std::unique_ptr<UnpackedRegion> start(UnpackedRegion::create(dim, true));
  _dbm_* d = _dbm_::create(dim);
  start->asDBM(d);
  d->close();
  cdd::forEachZone(diagram, d, collectZone, &zones);
  _dbm_::destroy(d);
  return zones;
}

_dbm_* PackedRegion::asDBM(_dbm_*) const {
  throw Bug("NI: %s", "struct _dbm_ * PackedRegion::asDBM(_dbm_ *) const");
}

cdd PackedRegion::asCDD() const { throw Bug("NI: %s", "class cdd PackedRegion::asCDD() const"); }
