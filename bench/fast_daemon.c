/* A fast stand-in daemon for benchmarks: answers every request on SOCKET with the bytes of
 * RESPONSE_FILE, read once at start; with OTHER_FILE, only the list requests, and every other
 * request (a save, a restore) with OTHER_FILE's. Requests are read until their JSON object is
 * complete. */
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "json_end.h"

static char* load(const char* path, long* size) {
    FILE* file = fopen(path, "rb");
    if (!file)
        return NULL;
    fseek(file, 0, SEEK_END);
    *size = ftell(file);
    fseek(file, 0, SEEK_SET);
    char* bytes = malloc((size_t)*size);
    if (fread(bytes, 1, (size_t)*size, file) != (size_t)*size)
        return NULL;
    fclose(file);
    return bytes;
}

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        fprintf(stderr, "usage: fast_daemon SOCKET RESPONSE_FILE [OTHER_FILE]\n");
        return 2;
    }
    long list_size = 0;
    long other_size = 0;
    char* list = load(argv[2], &list_size);
    char* other = argc == 4 ? load(argv[3], &other_size) : list;
    if (argc == 3)
        other_size = list_size;
    if (!list || !other)
        return 1;
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
        int listing = 0;
        for (;;) {
            ssize_t n = read(fd, request, sizeof request - 1);
            if (n <= 0)
                break;
            request[n] = '\0';
            listing = listing || strstr(request, "get_patch_list") != NULL;
            if (json_end_scan(&end, request, (size_t)n))
                break;
        }
        const char* response = listing ? list : other;
        long size = listing ? list_size : other_size;
        for (long done = 0; done < size;) {
            ssize_t n = write(fd, response + done, (size_t)(size - done));
            if (n <= 0)
                break;
            done += n;
        }
        close(fd);
    }
}
