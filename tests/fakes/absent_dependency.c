/* Two test-only Windows libraries: one exporting a function, and one that
 * imports it, kept in different folders so that Windows finds the first
 * nowhere when it loads the second. */
#ifdef VC_ABSENT_EXPORTS
__declspec(dllexport) int vcAbsentFunction(void)
{
    return 0;
}
#else
__declspec(dllimport) int vcAbsentFunction(void);

__declspec(dllexport) int vcNeedsAbsent(void)
{
    return vcAbsentFunction();
}
#endif
