/* A Windows program that does nothing but end with exit code 42. It is linked with the runtime's own
   resources, so the resource editors are tested on real linker output without the whole runtime. */
int main(void) { return 42; }
