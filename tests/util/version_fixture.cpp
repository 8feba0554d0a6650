// An executable with a version resource of its own, for the version reader's tests.
int main() {
    return 0;
}
