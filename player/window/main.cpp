// CallDeck: the player program (run_calldeck.h says what a run does).
#include "run_calldeck.h"

int main(int argc, char** argv) { return player::RunCallDeck(argc, argv); }
