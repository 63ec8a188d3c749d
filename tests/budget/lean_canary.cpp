// A test of lean.py: everything the board program must not carry - the C++
// library and iostreams, a static constructor and destructor, a guarded
// function-local static.  Built, never run.
#include <iostream>
#include <string>

static std::string greeting = "hello";

static int counter() {
    static std::string name(greeting);
    return (int)name.size();
}

int main() {
    std::cout << greeting << counter() << '\n';
}
