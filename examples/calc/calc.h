#ifndef CALC_H
#define CALC_H

/* Tokens of an arithmetic expression such as "2 * (3.5 - 1)". */
enum tok_kind { TOK_NUM, TOK_OP, TOK_LPAREN, TOK_RPAREN, TOK_END, TOK_BAD };

struct token {
    enum tok_kind kind;
    double num; /* TOK_NUM */
    char op;    /* TOK_OP: '+', '-', '*' or '/' */
    int pos;    /* offset in the text, for messages */
};

struct lexer {
    const char *text;
    int pos;
};

void lex_init(struct lexer *lx, const char *text);
struct token lex_next(struct lexer *lx);
const char *tok_name(const struct token *t);

/* Evaluates text into *result; on a mistake returns 0 and sets *err and
   *errpos (offset in text). */
int calc_eval(const char *text, double *result, const char **err, int *errpos);

#endif
