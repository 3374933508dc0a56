// quorix-server: the verification server a front end talks to over stdin and stdout.
#include <iostream>

#include "server/server.h"

int main() {
  std::ios::sync_with_stdio(false);
  std::cin.tie(nullptr);
  Server server(std::cin, std::cout);
  server.run();
  return 0;
}
