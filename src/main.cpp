#include "platform/start.h"
#include "src/dialogue.h"

int main() { rts::Run(OrdalenMain); }
