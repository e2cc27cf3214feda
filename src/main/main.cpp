#include "os/interruption.h"
#include "startup.h"

int main(int argc, char** argv) {
    const int status = quvane::run(argc, argv);
    quvane::os::end_by_noted_interruption();
    return status;
}
