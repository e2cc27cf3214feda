/* The floor: the least a client can do for the same exchanges as quvane. For each request
 * given on the command line: connect to the socket, write the request, read the response with
 * large reads until the JSON value is complete, write the raw bytes to standard output. No
 * decoding, no formatting. With -o FILE first, the bytes replace FILE instead: written beside it,
 * synced and renamed over it, as quvane replaces its metrics file. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "json_end.h"

static char buffer[1 << 16];

static int exchange(const char* path, const char* request) {
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    struct sockaddr_un address = {.sun_family = AF_UNIX};
    strncpy(address.sun_path, path, sizeof address.sun_path - 1);
    if (fd < 0 || connect(fd, (struct sockaddr*)&address, sizeof address) != 0)
        return 1;
    size_t length = strlen(request);
    if (write(fd, request, length) != (ssize_t)length)
        return 1;
    struct json_end end = {0};
    for (;;) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        fwrite(buffer, 1, (size_t)n, stdout);
        if (json_end_scan(&end, buffer, (size_t)n))
            break;
    }
    close(fd);
    return 0;
}

int main(int argc, char** argv) {
    const char* file = NULL;
    char temporary[4096];
    if (argc > 2 && strcmp(argv[1], "-o") == 0) {
        file = argv[2];
        argc -= 2;
        argv += 2;
        snprintf(temporary, sizeof temporary, "%s.new", file);
        if (freopen(temporary, "w", stdout) == NULL)
            return 1;
    }
    if (argc < 3) {
        fprintf(stderr, "usage: floor_client [-o FILE] SOCKET REQUEST...\n");
        return 2;
    }
    for (int i = 2; i < argc; ++i) {
        if (exchange(argv[1], argv[i]) != 0)
            return 1;
    }
    if (fflush(stdout) != 0)
        return 1;
    return file != NULL && (fsync(fileno(stdout)) != 0 || rename(temporary, file) != 0);
}
