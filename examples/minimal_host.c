/*
 * A minimal host: loads the plug-in by path, selects the built-in fake
 * transport and prints the root listing of the account.
 *
 *   minimal_host [path/to/libplix.so]
 */
#include <dlfcn.h>
#include <stdio.h>

#include "plix.h"

#ifndef PLIX_LIBRARY_PATH
#define PLIX_LIBRARY_PATH "libplix.so"
#endif

typedef int (*use_fake_fn)(void);
typedef int (*list_fn)(const char *, const char *, char *, int);
typedef const char *(*last_error_fn)(void);

int main(int argc, char **argv) {
    const char *path = argc > 1 ? argv[1] : PLIX_LIBRARY_PATH;
    void *lib = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        fprintf(stderr, "cannot load %s: %s\n", path, dlerror());
        return 1;
    }
    use_fake_fn use_fake;
    list_fn list;
    last_error_fn last_error;
    *(void **)&use_fake = dlsym(lib, "plix_use_fake");
    *(void **)&list = dlsym(lib, "plix_list");
    *(void **)&last_error = dlsym(lib, "plix_last_error");
    if (!use_fake || !list || !last_error) {
        fprintf(stderr, "%s is not the plix plug-in\n", path);
        return 1;
    }

    use_fake();
    char out[4096];
    int rc = list("{\"APIKey\":\"demo-key\"}", "", out, (int)sizeof out);
    if (rc != PLIX_OK) {
        fprintf(stderr, "list failed (%d): %s\n", rc, last_error());
        return 1;
    }
    printf("%s\n", out);
    dlclose(lib);
    return 0;
}
