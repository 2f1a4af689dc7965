CREATE TABLE genre (genre_id SERIAL NOT NULL, name VARCHAR(120),
    CONSTRAINT genre_pkey PRIMARY KEY (genre_id));
CREATE TABLE big (id BIGSERIAL PRIMARY KEY, n int);
CREATE TABLE small (id smallserial PRIMARY KEY, n int);
INSERT INTO genre (name) VALUES ('Rock'), ('Jazz');
INSERT INTO big (n) VALUES (5);
INSERT INTO small (n) VALUES (6);
