// Every mistake tools/check-positions is to find, once each; never compiled.
#define UNIT L"planted"
#define FAIL_POS() TracePosition(UNIT, __LINE__)

void Fail(int32_t nPosition) {
    TracePosition(UNIT, nPosition);
}

void Planted(void *p, int32_t rc) {
    TracePosition(UNIT, 1);
    Fail(1);
    MemFreeEx(nullptr, p, UNIT, 2);
    TracePosition(L"planted", 2);
    TracePosition(UNIT, rc + 3);
    FAIL_POS();
    TraceCode(L"codes", rc);
    TracePosition(L"codes", 4);
    TracePosition(UNIT, 5);
}
