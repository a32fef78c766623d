/*
 * pipeline.c: five small jobs in one program, each with assertions that
 * lumet checks for every input the program can read.
 *
 *   1. a producer and a consumer sharing a bounded ring buffer; which of the
 *      two runs next is read from the input, so every interleaving counts;
 *   2. a state machine that recognises messages of the form (ddd) in a
 *      stream of tokens read from the input and counts their digits;
 *   3. an insertion sort of four values read from the input, checked
 *      against the smallest and largest value and the sum read;
 *   4. a run-length code of the sorted values, decoded back and checked
 *      against them and against a count of the distinct values;
 *   5. a binary search in the sorted values for one more value read.
 *
 * Every input character is reduced to a small token (c % 2, c % 4), so the
 * program sees every token sequence while its numbers stay below 16: the
 * width probe then gives int 4 bits.
 *
 * Check it with:   lumet -c pipeline.c pipeline.c
 * One assertion:   lumet -ck 3 -c pipeline.c pipeline.c
 * A wrong claim:   lumet -c pipeline.c -sp pipeline.sp pipeline.c
 */
#include <stdio.h>

#define CAP 2        /* slots in the ring buffer */
#define ITEMS 4      /* items the producer makes: 1, 2, 3, 4 */
#define MAXLEN 2     /* longest message body */
#define ROUNDS 6     /* tokens the state machine reads */
#define N 4          /* values to sort */

/* tokens of the state machine */
#define OPEN 0       /* '(' */
#define DIGIT 1      /* a digit */
#define CLOSE 2      /* ')' */
#define OTHER 3      /* anything else */

/* states of the message recogniser */
#define IDLE 0
#define BODY 1
#define DONE 2
#define BAD 3

/* ---- 1. bounded buffer ---- */
int buf[CAP];
int head = 0;        /* next slot to read */
int tail = 0;        /* next slot to write */
int count = 0;       /* items in the buffer */
int produced = 0;
int consumed = 0;
int sum_in = 0;      /* sum of the items put into the buffer */
int sum_out = 0;     /* sum of the items taken out */
int last = 0;        /* the item taken last */

/* ---- 2. state machine ---- */
int state = IDLE;
int len = 0;         /* digits in the current message */
int messages = 0;    /* messages recognised */
int digits = 0;      /* digits of all recognised messages */
int errors = 0;
int longest = 0;     /* longest body recognised */

/* ---- 3. sort ---- */
int a[N];
int before = 0;      /* sum of the values before sorting */
int lo = 3;          /* smallest value read */
int hi = 0;          /* largest value read */
int zeros = 0;       /* how many values are 0 */

/* ---- 4. run-length code ---- */
int rv[N];           /* value of each run */
int rl[N];           /* length of each run */
int runs = 0;
int distinct = 0;    /* values 0..3 that occur, counted without the runs */

/* ---- 5. binary search ---- */
int left = 0;        /* the search range is a[left..right-1] */
int right = N;
int found = 0;
int steps = 0;       /* probes made */

int main(void)
{
  char c;
  int item = 0;
  int want = 0;      /* the producer's turn: 1 */
  int tok = 0;
  int round = 0;
  int i = 0;
  int j = 0;
  int key = 0;
  int after = 0;
  int z = 0;
  int moves = 0;      /* shifts the sort made */
  int v = 0;
  int r = 0;
  int mid = 0;
  int x = 0;

  /*
   * 1. Producer and consumer.  An even input character asks the producer
   * to put the next item, any other character lets the consumer take one.
   * A producer that finds the buffer full, or has made every item, gives
   * the turn to the consumer.  Items are 1, 2, 3, 4, so the consumer must
   * see them in that order.
   */
  lumet_assertion("count == 0 && produced == 0");
  while (consumed < ITEMS) {
    c = getc(stdin);
    want = c % 2 == 0;
    if (want && count < CAP && produced < ITEMS) {
      item = produced + 1;
      buf[tail] = item;
      tail++;
      if (tail == CAP)
        tail = 0;
      count++;
      produced++;
      sum_in += item;
      lumet_assertion("count <= CAP && count >= 1");
    } else if (count > 0) {
      item = buf[head];
      head = (head + 1) % CAP;
      count--;
      consumed++;
      sum_out += item;
      lumet_assertion("item == last + 1");
      last = item;
    } else if (produced == ITEMS) {
      break;  /* cannot happen: everything made is consumed first */
    }
    lumet_assertion("consumed + count == produced");
    lumet_assertion("head < CAP && tail < CAP");
    lumet_assertion("(tail + CAP - head) % CAP == count % CAP");
  }
  lumet_assertion("consumed == ITEMS && count == 0");
  lumet_assertion("sum_in == sum_out && sum_out == 10");
  lumet_assertion("last == ITEMS && head == tail");

  /*
   * 2. Message recogniser.  OPEN starts a message, DIGITs make its body (at
   * most MAXLEN of them), CLOSE ends it.  Anything else inside a message,
   * an empty body or a body that is too long is an error, and the machine
   * waits for the next OPEN.
   */
  for (round = 0; round < ROUNDS; round++) {
    c = getc(stdin);
    tok = c % 4;
    switch (state) {
    case IDLE:
      if (tok == OPEN) {
        state = BODY;
        len = 0;
      }
      break;
    case BODY:
      if (tok == DIGIT) {
        if (len == MAXLEN) {
          state = BAD;
          errors++;
        } else {
          len++;
        }
      } else if (tok == CLOSE) {
        if (len > 0) {
          state = DONE;
          messages++;
          digits += len;
          if (len > longest)
            longest = len;
        } else {
          state = BAD;
          errors++;
        }
      } else {
        state = BAD;
        errors++;
      }
      break;
    case DONE:
    case BAD:
      /* a finished or broken message: start again on OPEN */
      if (tok == OPEN) {
        state = BODY;
        len = 0;
      } else {
        state = IDLE;
      }
      break;
    default:
      errors = 9;
    }
    lumet_assertion("state <= BAD && len <= MAXLEN");
    lumet_assertion("state != DONE || len >= 1");
    lumet_assertion("longest <= MAXLEN && digits <= MAXLEN * messages");
  }
  /* six tokens hold at most two messages, (d)(d), and at most three
     errors, as in ()()() */
  lumet_assertion("messages <= 2 && errors <= 3");
  lumet_assertion("messages + errors <= 3");
  lumet_assertion("digits >= messages");
  lumet_assertion("errors != 9");

  /*
   * 3. Insertion sort of four values 0..3 read from the input.
   */
  for (i = 0; i < N; i++) {
    c = getc(stdin);
    a[i] = c % 4;
    before = before + a[i];
    if (a[i] < lo)
      lo = a[i];
    if (a[i] > hi)
      hi = a[i];
    if (a[i] == 0)
      zeros++;
  }
  lumet_assertion("lo <= hi && before <= 12");
  for (i = 1; i < N; i++) {
    key = a[i];
    j = i;
    while (j > 0 && a[j - 1] > key) {
      a[j] = a[j - 1];
      j--;
      moves++;
    }
    a[j] = key;
    lumet_assertion("j <= i");
  }
  for (i = 0; i < N; i++) {
    after += a[i];
    if (a[i] == 0)
      z++;
  }
  lumet_assertion("a[0] <= a[1] && a[1] <= a[2] && a[2] <= a[3]");
  lumet_assertion("after == before");
  lumet_assertion("a[0] == lo && a[3] == hi");
  lumet_assertion("z == zeros");
  lumet_assertion("moves <= 6");

  /*
   * 4. Run-length code of the sorted values.  Equal values are adjacent
   * once sorted, so there is one run per distinct value, the runs rise
   * strictly, and writing each value out as often as its run says gives
   * the sorted values back.
   */
  for (i = 0; i < N; i++) {
    if (runs > 0 && rv[runs - 1] == a[i]) {
      rl[runs - 1]++;
    } else {
      rv[runs] = a[i];
      rl[runs] = 1;
      runs++;
    }
    lumet_assertion("runs >= 1 && runs <= i + 1");
  }
  for (v = 0; v < 4; v++)
    if (a[0] == v || a[1] == v || a[2] == v || a[3] == v)
      distinct++;
  lumet_assertion("runs == distinct");
  lumet_assertion("zeros == 0 || (rv[0] == 0 && rl[0] == zeros)");
  i = 0;              /* position in the decoded values */
  for (r = 0; r < runs; r++) {
    lumet_assertion("r == 0 || rv[r - 1] < rv[r]");
    for (j = 0; j < rl[r]; j++) {
      lumet_assertion("i < N && a[i] == rv[r]");
      i++;
    }
  }
  lumet_assertion("i == N && rv[0] == lo && rv[runs - 1] == hi");

  /*
   * 5. Binary search in the sorted values for a value 0..3 read from the
   * input: the range halves at every probe, so four values need at most
   * three probes, and a value not found is none of the four.
   */
  c = getc(stdin);
  x = c % 4;
  while (left < right && !found) {
    mid = (left + right) / 2;
    steps++;
    if (a[mid] == x)
      found = 1;
    else if (a[mid] < x)
      left = mid + 1;
    else
      right = mid;
    lumet_assertion("left <= right && right <= N && mid < N");
  }
  lumet_assertion("steps >= 1 && steps <= 3");
  lumet_assertion("found == 0 || a[mid] == x");
  lumet_assertion("found || (a[0] != x && a[1] != x && a[2] != x && a[3] != x)");
  return 0;
}
