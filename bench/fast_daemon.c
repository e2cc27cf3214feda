/* A fast stand-in daemon for benchmarks: answers every request on SOCKET with the bytes of
 * RESPONSE_FILE, read once at start. Requests are read until their JSON object is complete. */
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "json_end.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: fast_daemon SOCKET RESPONSE_FILE\n");
        return 2;
    }
    FILE* file = fopen(argv[2], "rb");
    if (!file)
        return 1;
    fseek(file, 0, SEEK_END);
    long size = ftell(file);
    fseek(file, 0, SEEK_SET);
    char* response = malloc((size_t)size);
    if (fread(response, 1, (size_t)size, file) != (size_t)size)
        return 1;
    fclose(file);
    signal(SIGPIPE, SIG_IGN);

    int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    struct sockaddr_un address = {.sun_family = AF_UNIX};
    strncpy(address.sun_path, argv[1], sizeof address.sun_path - 1);
    unlink(argv[1]);
    if (bind(listener, (struct sockaddr*)&address, sizeof address) != 0 ||
        listen(listener, 128) != 0)
        return 1;
    char request[65536];
    for (;;) {
        int fd = accept(listener, NULL, NULL);
        if (fd < 0)
            continue;
        struct json_end end = {0};
        for (;;) {
            ssize_t n = read(fd, request, sizeof request);
            if (n <= 0)
                break;
            if (json_end_scan(&end, request, (size_t)n))
                break;
        }
        for (long done = 0; done < size;) {
            ssize_t n = write(fd, response + done, (size_t)(size - done));
            if (n <= 0)
                break;
            done += n;
        }
        close(fd);
    }
}
