// The floor for process start-up: a C++ program that only links the standard
// library and prints one line.
#include <iostream>

int main() {
    std::cout << "hello\n";
    return 0;
}
