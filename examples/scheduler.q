// Never two workers running at once.
A[] not (W1.Run and W2.Run)
// The second worker gets its turn.
E<> W2.Run
// A waiting worker is served.
W1.Wait --> W1.Run
