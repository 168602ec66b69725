// Throughput of the sector ECC against two baselines, in one run:
//  - the literal bit-by-bit transcription of the definition (the reference
//    the tests check against);
//  - a byte-at-a-time table version, the usual software approach.

#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <random>
#include <vector>

#include "ecc.h"
#include "reference_ecc.h"

namespace {

constexpr size_t SECTOR = 512;
constexpr size_t SECTORS = 256;  // 128 KiB of random data, cycled through

// byte_table[b]: the column parities of byte b, P1[0..2] in bits 0..2 and
// P0[0..2] in bits 3..5, and the parity of b in bit 6.  One lookup per byte
// replaces eight bit extractions.
std::array<uint8_t, 256> make_byte_table()
{
    std::array<uint8_t, 256> table{};
    for (int b = 0; b < 256; ++b) {
        int p1 = 0, p0 = 0, parity = 0;
        for (int i = 0; i < 8; ++i) {
            if (!((b >> i) & 1))
                continue;
            parity ^= 1;
            for (int n = 0; n < 3; ++n) {
                if ((i >> n) & 1)
                    p1 ^= 1 << n;
                else
                    p0 ^= 1 << n;
            }
        }
        table[b] = static_cast<uint8_t>(p1 | p0 << 3 | parity << 6);
    }
    return table;
}

const std::array<uint8_t, 256> byte_table = make_byte_table();

// Byte-at-a-time version: column bits from the table, line bits as the XOR
// of the lines (p = q ^ 3) of the odd-parity bytes.
uint32_t table_ecc(const uint8_t* sector)
{
    uint32_t columns = 0;
    uint32_t lines = 0;
    uint32_t odd_bytes = 0;
    for (uint32_t q = 0; q < SECTOR; ++q) {
        const uint32_t t = byte_table[sector[q]];
        columns ^= t;
        const uint32_t odd = (t >> 6) & 1;
        lines ^= (q ^ 3) & (0u - odd);
        odd_bytes ^= odd;
    }
    uint32_t p1 = (columns & 7) | (lines << 3);
    uint32_t p0 = ((columns >> 3) & 7) | (((lines ^ (odd_bytes ? 0x1FFu : 0u)) & 0x1FF) << 3);
    const uint32_t k = p0 | p1 << 16;
    return (k >> 24) | ((k >> 8) & 0xFF00u) | ((k << 8) & 0xFF0000u) | (k << 24);
}

std::vector<uint8_t> random_sectors()
{
    std::vector<uint8_t> data(SECTOR * SECTORS);
    std::mt19937 rng(2026);
    for (auto& b : data)
        b = static_cast<uint8_t>(rng());
    return data;
}

template <uint32_t (*ecc)(const uint8_t*)>
void run(benchmark::State& state)
{
    const std::vector<uint8_t> data = random_sectors();
    // The baselines must agree with the code under test before they count.
    for (size_t s = 0; s < SECTORS; ++s)
        if (ecc(&data[s * SECTOR]) != computeECC(&data[s * SECTOR]))
            state.SkipWithError("result differs from computeECC");
    size_t s = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ecc(&data[s * SECTOR]));
        s = (s + 1) % SECTORS;
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * SECTOR));
}

BENCHMARK(run<computeECC>)->Name("computeECC");
BENCHMARK(run<computeECC_portable>)->Name("computeECC_portable");
BENCHMARK(run<table_ecc>)->Name("byte_table_baseline");
BENCHMARK(run<reference_ecc>)->Name("literal_definition");

}  // namespace

int main(int argc, char** argv)
{
    // Each vector build of the code that this processor runs.
#if ECC_HAS_VECTOR_BUILDS
    if (ecc_avx2_usable())
        benchmark::RegisterBenchmark("computeECC_avx2", run<computeECC_avx2>);
    if (ecc_avx512_usable())
        benchmark::RegisterBenchmark("computeECC_avx512", run<computeECC_avx512>);
#endif
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
