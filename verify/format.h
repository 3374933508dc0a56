// verify/format.h: readable texts of a loaded model's names, edges and symbolic states, and
// JSON quoting.
#pragma once
#include <string>
#include <string_view>
#include <vector>

class GlobalState;
class Zone;
class System;
class Transition;

std::string processName(const System& system, int p);
std::string locationName(const System& system, int p, int location);

// The edge's labels as written in a model: "{ guard x<=2, id == 0; sync c!; assign x:=0; }".
std::string edgeLabels(const Transition& edge);
// "P1: A -> req { ... }"
std::string edgeText(const System& system, const Transition& edge);

// The zone's minimal constraint set with clock names, most readable first: "P1.x <= 2",
// "P2.x > 1", "P1.x - P2.x < 3", a pair of opposite bounds as "P1.x == 2". Lower bounds
// x >= 0, which every zone has, are left out. The zone must be closed and non-empty.
std::vector<std::string> zoneConstraints(const Zone& zone);
// Every location as "Process.location", in process order.
std::vector<std::string> locationNames(const System& system, const GlobalState& state);
// Every integer variable with its value(s): "id = 1", "a = [0, 2]", in declaration order.
std::vector<std::string> variableValues(const GlobalState& state);

// The text as a JSON string, quotes included.
std::string jsonString(std::string_view text);
// Items joined with a separator.
std::string join(const std::vector<std::string>& items, std::string_view separator);
