#include <cstdio>

int main() {
    std::puts("mivoklient-cli");
    return 0;
}
