// What keeping the dialog alive costs a job: the same conversion, run by the main dialog's
// progress observer and by no observer, in back-to-back pairs.
// Usage: observer_cost INPUT OUTPUT [PAIRS]
#include "bench_clock.h"
#include "convert_file.h"
#include "dialogs.h"
#include "job_progress.h"
#include "messages.h"
#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

double Seconds(HWND dialog, const char* input, const char* output, ConvertObserver* observer)
{
    double start = Now();
    ConvertFile(dialog, input, output, 0, 0, observer);
    return Now() - start;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fputs("usage: observer_cost INPUT OUTPUT [PAIRS]\n", stderr);
        return 2;
    }
    int pairs = argc > 3 ? std::atoi(argv[3]) : 9;
    ErrorCaption = ProgramErrorCaption;
    HWND dialog = CreateDialogParamA(GetModuleHandleA(nullptr), "VELMOR", nullptr, VELMORDIALOGPROC, 0);
    if (dialog == nullptr) {
        std::fputs("cannot create the main dialog\n", stderr);
        return 1;
    }
    std::vector<double> with, without, ratios;
    Seconds(dialog, argv[1], argv[2], nullptr);  // the output at full size, the input in memory
    for (int i = 0; i < pairs; ++i) {
        DialogJobProgress progress(dialog, argv[1], argv[2]);
        double a = Seconds(dialog, argv[1], argv[2], &progress);
        double b = Seconds(dialog, argv[1], argv[2], nullptr);
        with.push_back(a);
        without.push_back(b);
        ratios.push_back(a / b);
    }
    std::printf("dialog job, %d pairs: with the observer %.3f s, without %.3f s (medians); ratio %.3f (pairs %.3f to %.3f)\n",
                pairs, Median(with), Median(without), Median(ratios), *std::min_element(ratios.begin(), ratios.end()),
                *std::max_element(ratios.begin(), ratios.end()));
    DestroyWindow(dialog);
    return 0;
}
