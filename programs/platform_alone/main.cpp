// The ground alone: every object of a platform's backends linked with nothing above the platform. That it
// links is the check: no backend calls up into a program by a name that a program would have to define.
int main() {
    return 0;
}
