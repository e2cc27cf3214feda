#include "startup.h"

int main(int argc, char** argv) {
    return quvane::run(argc, argv);
}
