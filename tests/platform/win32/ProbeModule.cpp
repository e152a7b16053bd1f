// A library for the loading tests to find and call.
extern "C" __declspec(dllexport) int K58ProbeAnswer() {
    return 58;
}
