// Tells which registry keys exist. Reads key paths from a file, one a line
// ("HKLM\..." or "HKCU\..."), and prints "present PATH" or "absent PATH" for
// each, in the same order.
#include <windows.h>

#include <stdio.h>
#include <string.h>

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: KeyCheck KEY-LIST-FILE\n");
        return 2;
    }
    FILE *list = fopen(argv[1], "r");
    if (!list) {
        fprintf(stderr, "KeyCheck: cannot read %s\n", argv[1]);
        return 2;
    }

    char line[1024];
    while (fgets(line, sizeof line, list)) {
        line[strcspn(line, "\r\n")] = '\0';
        if (line[0] == '\0')
            continue;

        HKEY root;
        const char *path;
        if (strncmp(line, "HKLM\\", 5) == 0) {
            root = HKEY_LOCAL_MACHINE;
            path = line + 5;
        } else if (strncmp(line, "HKCU\\", 5) == 0) {
            root = HKEY_CURRENT_USER;
            path = line + 5;
        } else {
            fprintf(stderr, "KeyCheck: not an HKLM or HKCU path: %s\n", line);
            return 2;
        }

        HKEY key;
        LONG result = RegOpenKeyExA(root, path, 0, KEY_READ, &key);
        if (result == ERROR_SUCCESS)
            RegCloseKey(key);
        else if (result != ERROR_FILE_NOT_FOUND) {
            fprintf(stderr, "KeyCheck: %s: error %ld\n", line, result);
            return 2;
        }
        printf("%s %s\n", result == ERROR_SUCCESS ? "present" : "absent", line);
    }
    fclose(list);
    return 0;
}
