#include <cstdio>

int main() {
    std::puts("Fleetwing: the console is not built yet.");
    return 0;
}
