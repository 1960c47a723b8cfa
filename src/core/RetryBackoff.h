#pragma once
// How long to wait before the next attempt at something that keeps failing (a folder that does
// not exist yet): the first wait is short, each further one twice as long, up to a cap, so that a
// lasting failure costs next to nothing while a quick fix is noticed soon.

namespace tapwell {

class RetryBackoff {
  public:
    RetryBackoff(double firstSeconds, double longestSeconds);

    // The wait before the next attempt; each call doubles the one after it, up to the cap.
    double next();
    // After a success: the next failure starts again with the first wait.
    void reset();

  private:
    double first_;
    double longest_;
    double current_;
};

}  // namespace tapwell
