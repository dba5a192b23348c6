/* A minimal C host: starts the library, prints its version and copyright,
 * and shuts it down. Also proves that the public header serves C hosts. */
#include <stdio.h>

#include "halcyra/halcyra.h"
#include "hcyplat/hcyplatform.h"

int main(void) {
    uintptr_t window = hcyplatCreateWindow();
    uint32_t version = 0;
    if (!hcyInit(window, "127.255.255.255")) {
        fprintf(stderr, "hcyInit failed: %s\n", hcyGetLastError());
        return 1;
    }
    const char* text = hcyGetHCYVersion(&version);
    printf("%s (0x%06x)\n", text, (unsigned)version);
    printf("%s\n", hcyGetHCYCopyright());
    if (hcyCreateComRadio(RADIO_TYPE_GENERIC, 0, 0, 0, 0) < 0)
        printf("radio: %s\n", hcyGetLastError());
    hcyExit();
    hcyplatDestroyWindow(window);
    printf("lifecycle: init, version, copyright, exit: ok\n");
    return 0;
}
