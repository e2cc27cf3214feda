/* Tells when a JSON object or array that arrives in pieces is complete, by counting brackets
 * outside strings. Enough for the well-formed messages of the benchmark. */
#ifndef QUVANE_BENCH_JSON_END_H
#define QUVANE_BENCH_JSON_END_H

#include <stddef.h>

struct json_end {
    int depth, in_string, escaped, started;
};

/* Scans the next piece; returns 1 once the value is complete. */
static inline int json_end_scan(struct json_end* s, const char* bytes, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        char c = bytes[i];
        if (s->in_string) {
            if (s->escaped)
                s->escaped = 0;
            else if (c == '\\')
                s->escaped = 1;
            else if (c == '"')
                s->in_string = 0;
        } else if (c == '"')
            s->in_string = 1;
        else if (c == '{' || c == '[') {
            ++s->depth;
            s->started = 1;
        } else if (c == '}' || c == ']')
            --s->depth;
    }
    return s->started && s->depth == 0;
}

#endif
