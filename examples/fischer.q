// Mutual exclusion holds: no two processes are ever in the critical section together.
A[] not (P1.cs and P2.cs)
A[] not (P1.cs and P3.cs) and not (P2.cs and P3.cs)
// Each process can enter the critical section.
E<> P1.cs
E<> P3.cs and P3.x > 2
// The protocol never deadlocks.
A[] not deadlock
// A process that requests the critical section may still wait forever (others keep it busy).
P1.req --> P1.cs
