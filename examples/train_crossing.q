// Safety: whenever a train is on the crossing, the barrier is down.
A[] (Train1.In or Train2.In) imply (Gate.Down or Gate.Check)
// Both trains can be near the crossing at once.
E<> Train1.Near and Train2.Near
// The gate is lowered within one time unit.
A[] Gate.Lowering imply Gate.y <= 1
// A train that comes near eventually crosses.
Train1.Near --> Train1.In
// The barrier does not stay down for ever.
A[] not deadlock
