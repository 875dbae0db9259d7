// A short, repeatable run of the fuzz target for compilers without libFuzzer:
// random files built from the pieces profile files are made of.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
    const long runs = argc > 1 ? std::atol(argv[1]) : 200000;
    static const char* pieces[] = {"[",    "]",    "=",    "\r\n", "\n",   "\r",   " ",
                                   "\t",   "\"",   "'",    ";",    "a",    "A",    "s",
                                   "S",    "k",    "K",    "\x81", "\x41", "\x61", "\xD6\xD0",
                                   "\x01", "\x01", "\x01", "[s]",  "k=v",  "\xFF", "0"};
    std::mt19937 random(20261207);
    std::uniform_int_distribution<size_t> piece(0, sizeof pieces / sizeof *pieces - 1);
    std::uniform_int_distribution<int> length(0, 40);
    for (long i = 0; i < runs; ++i) {
        std::string input;
        for (int n = length(random); n > 0; --n) {
            input += pieces[piece(random)];
        }
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.data()), input.size());
    }
    std::printf("%ld inputs checked\n", runs);
    return 0;
}
