// The desktop's random colouring outside the page, for the web tests to compare with:
//   random_colours SEED COUNT IN.dat OUT.dat
// reads IN.dat, seeds the desktop's generator with SEED, colours COUNT times as Q does and
// writes the figure to OUT.dat.
#include <cstdio>
#include <cstdlib>

#include "document/dat_file.h"
#include "document/random_choice.h"
#include "figure/figure_engine.h"
#include "picture/user_prompts.h"

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: random_colours SEED COUNT IN.dat OUT.dat\n");
        return 2;
    }
    HeldPrompts ui;  // only its generator is used
    FigureEngine figure;
    if (LoadDatFile(figure, argv[3], ui) != DAT_OK) return 1;
    ui.SeedRandom(static_cast<unsigned>(std::strtoul(argv[1], nullptr, 10)));
    for (int n = std::atoi(argv[2]); n > 0; --n) ChooseRandomly(figure, RandomChoice(), ui);
    return SaveDatFile(figure, argv[4]) == DAT_OK ? 0 : 1;
}
