// quorix-verify: checks the properties of a model from the command line with the server's
// verification core.
#include "verify/verifier.h"

int main(int argc, char** argv) { return verifierMain(argc, argv); }
