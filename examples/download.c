/*
 * download: copies a URL (http, https, ftp or file) into a file, showing
 * progress on standard error.
 *
 *   download URL FILE [MAX_AGE_SECONDS]
 *   download https://example.com/data.zip data.zip 3600
 *
 * With a maximum age, a FILE modified no longer ago is kept and nothing is
 * transferred. FILE is replaced only once the whole body has arrived; a
 * failure leaves it as it was. Exit status: 0 downloaded (or fresh), 1
 * failed, 2 bad usage.
 */
#include <orvex.h>

#include <stdio.h>
#include <stdlib.h>

struct Progress {
    int called; /* not at all when a fresh FILE was kept */
    long long done;
    int shown; /* the last quarter reported, so a large file prints five lines, not thousands */
};

/* Called after each block and once at the end; a nonzero answer would cancel. */
static int OnProgress(void* user, long long done, long long total) {
    struct Progress* progress = (struct Progress*)user;
    progress->called = 1;
    progress->done = done;
    if (total > 0) {
        const int quarter = (int)(done * 4 / total);
        if (quarter > progress->shown) {
            progress->shown = quarter;
            fprintf(stderr, "%3d%% of %lld bytes\n", quarter * 25, total);
        }
    }
    return 0;
}

int main(int argc, char** argv) {
    struct Progress progress = {0, 0, 0};
    const char* error;
    int maxAge = 0;

    if (argc != 3 && argc != 4) {
        fprintf(stderr, "usage: download URL FILE [MAX_AGE_SECONDS]\n");
        return 2;
    }
    if (argc == 4) maxAge = atoi(argv[3]);

    /* "" on success, else the reason; the text is the library's, valid until the next such call. */
    error = DownloadFileEx(argv[1], argv[2], maxAge, OnProgress, &progress);
    if (error[0] != '\0') {
        fprintf(stderr, "download: %s\n", error);
        return 1;
    }
    if (progress.called)
        printf("%s: %lld bytes\n", argv[2], progress.done);
    else
        printf("%s: fresh, nothing transferred\n", argv[2]);
    return 0;
}
