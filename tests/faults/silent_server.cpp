// A database server that never answers: it listens on a loopback port,
// accepts every connection and then says nothing, holding each one open
// until it is killed. Prints the port it listens on.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char **argv) {
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    int on = 1;
    ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(argc > 1 ? std::atoi(argv[1]) : 0));
    socklen_t len = sizeof a;
    if (s < 0 || ::bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 ||
        ::listen(s, 64) != 0 || ::getsockname(s, reinterpret_cast<sockaddr *>(&a), &len) != 0) {
        std::perror("silent_server");
        return 1;
    }
    std::printf("%d\n", ntohs(a.sin_port));
    std::fflush(stdout);
    std::vector<int> held;
    while (true) {
        int c = ::accept(s, nullptr, nullptr);
        if (c >= 0) {
            held.push_back(c);
        }
    }
}
