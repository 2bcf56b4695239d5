// A small library for the dynamic-loading tests to load.
extern "C" __attribute__((visibility("default"))) int kel_test_answer()
{
    return 42;
}
